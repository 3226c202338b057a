// The dispatcher.  The browsing, checkout, account and maintenance actions
// join the table as they are built; names not handled yet fall through to
// the unknown-action error page.
#include "core/actions.h"

#include "cgi/output.h"
#include "config/config.h"
#include "config/paths.h"
#include "core/lifecycle.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdio>

int route_action(std::string_view action, std::string_view item) {
    std::string act(action);
    if (act.empty() || act == "HOME") {
        actionHOME();
    } else if (act == "SERVE") {
        actionSERVE();
    } else if (act == "ERROR") {
        set_string(DICT_ORVEL, "MESSAGE", item);
        print_OVML_File(get_template_pathname("error"));
    } else if (act == "MESSAGE" || act == "NOTE") {
        cgimsg("%s", std::string(item).c_str());
    } else if (act == "VERSION") {
        show_version(true);
    } else {
        cgidie("Orvel doesn't recognize \"%s\" as a valid action.  There is probably an error in the catalog's "
               "HTML.",
               quote_html_specials(act).c_str());
    }
    return 0;
}

void actionSERVE() {
    std::string name(var_string(DICT_SHOPPER, "ITEM"));
    if (name.empty()) name = var_string(DICT_SHOPPER, "PAGE");
    if (name.empty()) name = config_string("START_PAGE");
    if (name.empty())
        cgidie("No idea what page to serve.  Make sure you've specified a START_PAGE in your orvel.config file.");
    if (!accept_template_filename(name)) cgidie("Orvel will only serve HTML files within her document root.");
    std::string path = get_servable_pathname(name);
    if (fn_exists(path) != 1)
        cgidie("Failed to open \"%s\" for serving.  Make sure it exists in the catalog's document root and is "
               "readable.",
               quote_html_specials(path).c_str());
    set_string(DICT_SHOPPER, "PAGE", name);
    print_OVML_File(path);
    set_string(DICT_SHOPPER, "LAST_STATIC_REFERER", "");
    set_string(DICT_SHOPPER, "ACTION_HISTORY", "serve&item=" + name);
}

void actionHOME() {
    set_string(DICT_SHOPPER, "ITEM", config_string("START_PAGE"));
    actionSERVE();
}

void do_custom_welcome() {}
void Orvel_grab_OVML_hook(std::string_view) {}
void maybe_do_custom_cart_filter() {}
int maybe_enforce_minmax_quantities(std::string_view) { return 0; }
void do_daily_tasks() {}

void actionDEBUG() {
    // The diagnostic dump arrives with the maintenance actions; for now it
    // states the version and host in plain text.
    std::printf("Content-type: text/plain\n\nOrvel %s\n%s\n", orvel_version, my_uname().c_str());
    my_exit(0);
}
