/*
 * greeter.c - an example Orvel plug-in.
 *
 * It shows the three things most plug-ins do:
 *   - read the configuration and refuse to load (plugin_init);
 *   - read and write the shopper's state through the program's variable
 *     store before the action runs, for the page templates to show;
 *   - answer a request itself and tell the program to skip its action.
 *
 * Configuration (orvel.config):
 *   GREETER_OFF: yes        the plug-in refuses to load
 *   GREETER_TEXT: Hello     the greeting (default "Welcome")
 *
 * What it does in each request:
 *   - counts the shopper's visits in the session field GREETER_VISITS;
 *   - sets the template variable GREETING (%OVV_GREETING) to the greeting,
 *     the shopper's first name when known, and the visit number;
 *   - answers the action HELLO itself with a small page
 *     (?action=hello&name=Ann) and returns PLUGIN_HANDLED.
 *
 * Build: cc -shared -fPIC -I<orvel>/include -o greeter.so greeter.c
 * and copy greeter.so to CGI_DIR/plugins.
 */
#include <orvel.h>

#include <stdlib.h>
#include <string.h>
#include <strings.h>

/* A value's text, or "" when the variable is absent. */
static const char *text_of(var *dict, const char *name)
{
    var *v = get_var(dict, name);
    const char *s = v ? value_as_string(v->value) : NULL;
    return s ? s : "";
}

/* Writes `s` with the HTML special characters escaped: shopper input never
 * reaches the page as markup. */
static void print_escaped(const char *s)
{
    for (; *s; ++s) {
        switch (*s) {
        case '<': xprintf("&lt;"); break;
        case '>': xprintf("&gt;"); break;
        case '&': xprintf("&amp;"); break;
        case '"': xprintf("&quot;"); break;
        default: xprintf("%c", *s); break;
        }
    }
}

int plugin_init(var *argument)
{
    (void)argument;
    var *off = get_var(DICT_CONFIG, "GREETER_OFF");
    if (off && value_as_boolean(off->value)) return PLUGIN_REFUSED;
    return 0;
}

int plugin_pre_action(var *argument)
{
    (void)argument;
    if (strcasecmp(text_of(DICT_SHOPPER, "ACTION"), "HELLO") == 0) {
        xprintf("<html><body><p>Hello from the greeter, ");
        print_escaped(text_of(DICT_SHOPPER, "NAME"));
        xprintf(".</p></body></html>\n");
        return PLUGIN_HANDLED;
    }

    var *visits = get_var(DICT_SHOPPER, "GREETER_VISITS");
    const int count = (visits ? value_as_integer(visits->value, 0) : 0) + 1;
    set_var(DICT_SHOPPER, "GREETER_VISITS", TYPE_INTEGER, count);

    const char *greeting = text_of(DICT_CONFIG, "GREETER_TEXT");
    const char *name = text_of(DICT_SHOPPER, "BILL_FNAME");
    if (!*greeting) greeting = "Welcome";

    /* set_var takes over a malloc'd string. */
    size_t size = strlen(greeting) + strlen(name) + 64;
    char *line = malloc(size);
    if (!line) return PLUGIN_FAILED;
    if (*name)
        snprintf(line, size, "%s, %s (visit %d)", greeting, name, count);
    else
        snprintf(line, size, "%s (visit %d)", greeting, count);
    set_var(DICT_VARIABLES, "GREETING", TYPE_STRING, line);
    return 0;
}
