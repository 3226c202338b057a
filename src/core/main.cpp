// Entry point: one process serves one request.
#include "core/lifecycle.h"

int main(int argc, char **argv) { return orvel_main(argc, argv); }
