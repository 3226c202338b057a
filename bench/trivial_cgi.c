/* The floor for whole-process benchmarks: a CGI program that prints a
 * fixed page and exits. */
#include <stdio.h>

int main(void) {
    fputs("Content-type: text/html\n\n<html><body><h1>Fixed page</h1></body></html>\n", stdout);
    return 0;
}
