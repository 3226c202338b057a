// Browsing actions: serving merchant pages, going back, showing a page's
// source and the frame set.
#include "catalog/products.h"
#include "catalog/selection.h"
#include "cgi/output.h"
#include "cgi/query.h"
#include "cgi/secure.h"
#include "config/config.h"
#include "config/paths.h"
#include "core/actions.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "rules/totals.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <cstdio>
#include <cstdlib>

int maybe_show_empty_cart() {
    if (var_length(DICT_SELECTED) > 0) return 0;
    print_OVML_File(get_template_pathname("empty"));
    return 1;
}

void history_add(std::string text) { set_string(DICT_SHOPPER, "ACTION_HISTORY", text); }

std::optional<std::string> history_fetch() {
    std::string_view entry = var_string(DICT_SHOPPER, "ACTION_HISTORY");
    if (entry.empty()) return std::nullopt;
    return std::string(var_string(DICT_URL, "ACTION_NONSECURE")) + "=" + std::string(entry);
}

void actionSERVE() {
    std::string name(var_string(DICT_SHOPPER, "ITEM"));
    if (name.empty()) name = var_string(DICT_SHOPPER, "PAGE");
    if (name.empty()) name = config_string("START_PAGE");
    if (name.empty())
        cgidie("No idea what page to serve.  Make sure you've specified a START_PAGE in your orvel.config file.");
    if (name == "FRAMES") {
        actionFRAMES();
        return;
    }
    if (!accept_template_filename(name)) cgidie("Orvel will only serve HTML files within her document root.");
    if (name.find('#') != npos && config_boolean("REDIRECT_HASHES")) {
        print_redirection(std::string(var_string(DICT_URL, "ACTION")) + "=serve&item=" + name);
        return;
    }
    std::string path = get_servable_pathname(name);
    if (fn_exists(path) != 1) {
        std::string shown = quote_html_specials(path);
        if (name.find('#') != npos)
            cgidie("Failed to open \"%s\" for serving.  This may be because the catalog owner has specified a hash "
                   "symbol (#) in the page name.  He should turn on <KBD>REDIRECT_HASHES</KBD> in his "
                   "<KBD>orvel.config</KBD> file if he wants to do this.",
                   shown.c_str());
        cgidie("Failed to open \"%s\" for serving.  Make sure it exists in the catalog's document root and is "
               "readable.",
               shown.c_str());
    }
    set_string(DICT_SHOPPER, "PAGE", name);
    print_OVML_File(path);
    set_string(DICT_SHOPPER, "LAST_STATIC_REFERER", "");
    history_add("serve&item=" + name);
}

void actionHOME() {
    set_string(DICT_SHOPPER, "ITEM", config_string("START_PAGE"));
    actionSERVE();
}

void actionRETURN() {
    if (maybe_redirect_to_insecure()) return;
    set_string(DICT_SHOPPER, "ITEM", var_string(DICT_SHOPPER, "PAGE"));
    actionSERVE();
}

void actionBACK() {
    std::string_view referer = var_string(DICT_SHOPPER, "LAST_STATIC_REFERER");
    if (!referer.empty()) {
        print_redirection(referer);
    } else if (std::optional<std::string> url = history_fetch()) {
        print_redirection(*url);
    } else {
        actionRETURN();
    }
}

void actionSOURCE() {
    std::string item(var_string(DICT_SHOPPER, "ITEM"));
    if (item.empty()) cgidie("No page specified for SOURCE action.");
    if (!accept_template_filename(item)) cgidie("Orvel will only serve HTML files within her document root.");
    std::string path = get_servable_pathname(item);
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f)
        cgidie("Failed to view source of \"%s\".  Make sure it exists in the catalog's document root and is "
               "readable.",
               quote_html_specials(path).c_str());
    std::fputs("Content-type: text/plain\n\n", stdout);
    std::string line;
    while (my_fgets(line, PREF_LINE_MAX, f)) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    std::fclose(f);
}

void actionFRAMES() {
    int mode = 1;
    std::string_view msie = config_string("MSIE_FRAMES");
    if (strword(var_string(DICT_SHOPPER, "BROWSER_ID"), "MSIE") != npos && !msie.empty()) {
        if (strisame(msie, "disable")) mode = 0;
        else if (strisame(msie, "custom")) mode = 2;
        else if (strisame(msie, "explain")) mode = 3;
    }
    if (mode == 0) {
        actionRETURN();
        return;
    }
    if (mode == 3) {
        print_OVML_File(get_template_pathname("frameset_msie"));
        return;
    }
    set_integer(DICT_SHOPPER, "FRAMES", 1);
    window_target("OV_FRAMESET");
    print_OVML_File(get_template_pathname(mode == 1 ? "frameset" : "frameset_msie"));
}

void actionDETAIL() {
    std::string code = upper(var_string(DICT_SHOPPER, "ITEM"));
    if (code.empty()) cgidie("No SKUID given for product detail.");
    var *wanted = new_var(nullptr);
    set_integer(wanted, code, 1);
    fill_products(wanted);
    nuke_var(wanted);
    // get_product hands out the record itself (a dictionary of fields).
    var *product = get_product(code);
    if (!product || var_boolean(product, "?MISSING"))
        cgidie("Invalid product SKUID (%s) given for product detail.", quote_html_specials(code).c_str());
    current_product(product);
    std::string_view custom = var_string(product, "DTEMPLATE");
    print_OVML_File(get_template_pathname(custom.empty() ? std::string("detail") : "custom/" + std::string(custom)));
    set_string(DICT_SHOPPER, "LAST_STATIC_REFERER", "");
    history_add("detail&item=" + code);
}

void actionADD() {
    int quantity = var_integer(DICT_ARGS, "QUANTITY", 1);
    std::string code = upper(var_string(DICT_SHOPPER, "ITEM"));
    if (!code.empty()) {
        int current = get_selected_quantity(code);
        // Added in a wider type and clamped: a huge quantity never wraps.
        if (current > 0) quantity = clamp_quantity(static_cast<long long>(quantity) + current);
        set_selected_quantity(code, quantity);
    }
    if (var_boolean(DICT_SHOPPER, "FRAMES") && !strisame(config_string("ADD_TARGET"), "DISABLE")) {
        window_target("OV_VIEW");
        fill_products(DICT_SELECTED);
        tally_order();
        print_OVML_File(get_template_pathname("view_frame"));
        return;
    }
    std::string_view quiet = config_string("QUIET_ADD");
    if (stribeg(quiet, "http://")) {
        print_redirection(quiet);
        return;
    }
    if (config_boolean("QUIET_ADD")) {
        print_no_content();
        return;
    }
    if (maybe_show_empty_cart()) return;
    fill_products(DICT_SELECTED);
    tally_order();
    if (config_boolean("ENABLE_ADD_REDIRECT")) {
        std::string url = std::string(var_string(DICT_URL, "ACTION")) + "=view";
        if (!code.empty()) {
            char *encoded = Orvel_url_encode(code.c_str());
            url += "&PRODUCT_" + std::string(encoded) + "=" + std::to_string(quantity);
            std::free(encoded);
        }
        print_redirection(url);
        return;
    }
    print_OVML_File(get_template_pathname("view"));
}

void actionVIEW() {
    if (window_target("OV_CHECKOUT").find(" _top") != npos) set_integer(DICT_SHOPPER, "FRAMES", 0);
    if (maybe_show_empty_cart()) return;
    fill_products(DICT_SELECTED);
    tally_order();
    print_OVML_File(get_template_pathname("view"));
}
