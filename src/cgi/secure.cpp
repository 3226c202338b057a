#include "cgi/secure.h"

#include "config/config.h"
#include "cgi/output.h"
#include "config/paths.h"
#include "session/identify.h"
#include "strings/strutil.h"
#include "strings/random.h"
#include "vars/vars.h"

#include <cstdlib>

namespace {

int secure_decision = -1;

std::string doc_root(std::string_view key) {
    std::string root(config_string(key));
    if (config_boolean("DOC_ROOT_FOLLOWS_THEME")) root += "/themes/" + get_theme();
    return root;
}

}  // namespace

int is_secure_request() {
    std::string_view https = Orvel_getenv("HTTPS");
    if (strisame(https, "OFF")) return 0;
    if (strisame(https, "ON")) return 1;
    if (stribeg(Orvel_getenv("SERVER_URL"), "https:")) return 1;
    const char *port = std::getenv("SERVER_PORT");
    if (!port) return -1;
    int n = std::atoi(port);
    if (n == 80) return 0;
    if (n == 443) return 1;
    return -1;
}

int is_secure_action(std::string_view action) { return striword("CHECKOUT;CONFIRM", action) != npos; }

void populate_url_namespace() {
    std::string plain_cgi(config_string("HTTP_CGI_BIN")), secure_cgi(config_string("HTTPS_CGI_BIN"));
    std::string plain_doc = doc_root("HTTP_DOC_ROOT"), secure_doc = doc_root("HTTPS_DOC_ROOT");
    std::string name(config_string("ORVEL_NAME"));
    // Without a cookie the shopper's identity travels in the path.
    std::string suffix;
    std::string encapsulated = Orvel_encapsulate_client_id();
    if (!encapsulated.empty()) suffix = "/ovpi/u/" + encapsulated + "/" + name;
    set_string(DICT_URL, "FORM", plain_cgi + "/" + name + suffix);
    set_string(DICT_URL, "CGI_BIN", plain_cgi);
    set_string(DICT_URL, "DOC_ROOT", plain_doc);
    set_string(DICT_URL, "DOC_BASE", plain_doc + "/");
    set_string(DICT_URL, "FORM_NONSECURE", plain_cgi + "/" + name + suffix);
    set_string(DICT_URL, "CGI_BIN_NONSECURE", plain_cgi);
    set_string(DICT_URL, "DOC_ROOT_NONSECURE", plain_doc);
    set_string(DICT_URL, "DOC_BASE_NONSECURE", plain_doc + "/");
    set_string(DICT_URL, "FORM_SECURE", secure_cgi + "/" + name + suffix);
    set_string(DICT_URL, "CGI_BIN_SECURE", secure_cgi);
    set_string(DICT_URL, "DOC_ROOT_SECURE", secure_doc);
    set_string(DICT_URL, "DOC_BASE_SECURE", secure_doc + "/");
    if (var_boolean(DICT_ORVEL, "_HTTP_COOKIE_USED")) suffix.clear();
    set_string(DICT_URL, "MAIN", plain_cgi + "/" + name + suffix);
    set_string(DICT_URL, "MAIN_NONSECURE", plain_cgi + "/" + name + suffix);
    set_string(DICT_URL, "MAIN_SECURE", secure_cgi + "/" + name + suffix);
}

void initialize_action_url() {
    auto action_url = [](std::string_view main) {
        if (config_boolean("RANDOMIZE_URL")) return dupsprintf("%.*s?randomizer=%d&action",
                                                                static_cast<int>(main.size()), main.data(),
                                                                my_random(0));
        return std::string(main) + "?action";
    };
    set_string(DICT_URL, "ACTION", action_url(var_string(DICT_URL, "MAIN")));
    set_string(DICT_URL, "ACTION_NONSECURE", action_url(var_string(DICT_URL, "MAIN")));
    set_string(DICT_URL, "ACTION_SECURE", action_url(var_string(DICT_URL, "MAIN_SECURE")));
}

void maybe_repopulate_url_namespace() {
    if ((get_theme().empty() || !config_boolean("DOC_ROOT_FOLLOWS_THEME")) &&
        var_string(DICT_URL, "MAIN").find("/ovpi/u/") != npos)
        return;
    populate_url_namespace();
    initialize_action_url();
}

void maybe_securify_url() {
    if (secure_decision >= 0) return;
    if (!config_boolean("HTTPS_ENABLED")) secure_decision = 0;
    else if (var_boolean(DICT_SHOPPER, "SERVE_SECURE")) secure_decision = 1;
    else secure_decision = is_secure_request();
    if (secure_decision != 1) return;
    set_integer(DICT_SHOPPER, "SERVE_SECURE", 1);
    for (const char *name : {"MAIN", "FORM", "CGI_BIN", "DOC_ROOT", "DOC_BASE", "ACTION"})
        set_string(DICT_URL, name, std::string(var_string(DICT_URL, std::string(name) + "_SECURE")));
}

namespace {

bool browsing_word(std::string_view action) { return striword("SEARCH|DETAIL|SERVE|RETURN|HOME", action) != npos; }

std::string item_and_template(std::string_view template_text) {
    std::string out;
    std::string_view item = var_string(DICT_SHOPPER, "ITEM");
    if (!item.empty()) out += "&item=" + std::string(item);
    if (!template_text.empty()) out += "&template=" + std::string(template_text);
    return out;
}

}  // namespace

int maybe_redirect_to_insecure() {
    int enabled = config_integer("HTTPS_ENABLED", 0);
    if (enabled == 0) {
        set_integer(DICT_SHOPPER, "SERVE_SECURE", 0);
        return 0;
    }
    int s = is_secure_request();
    if (s == 0) {
        // With HTTPS_FAITH a request reported as plain may still be secure:
        // the shopper's secure mode stays, and since the plain server is
        // where it already is, it is never redirected (to itself).
        if (!config_boolean("HTTPS_FAITH")) set_integer(DICT_SHOPPER, "SERVE_SECURE", 0);
        return 0;
    }
    if (enabled == 2 || config_boolean("HTTPS_ALWAYS")) return 0;
    std::string action(var_string(DICT_SHOPPER, "ACTION"));
    if (!browsing_word(action)) return 0;
    if (s < 0 && !browsing_word(var_string(DICT_SHOPPER, "LAST_ACTION"))) return 0;
    std::string target = std::string(var_string(DICT_URL, "ACTION_NONSECURE")) + "=" + action +
                         item_and_template(var_string(DICT_INPUT, "TEMPLATE"));
    if (stribeg(var_string(DICT_URL, "MAIN_NONSECURE"), "https")) {
        overror("nudge: HTTP_DOC_ROOT appears secure; set HTTPS_ALWAYS:1");
        return 0;
    }
    set_integer(DICT_SHOPPER, "SERVE_SECURE", 0);
    print_redirection(target);
    return 1;
}

int maybe_redirect_to_secure() {
    if (!config_boolean("HTTPS_AUTO")) return 0;
    int enabled = config_integer("HTTPS_ENABLED", 0);
    if (is_secure_request() == 1 || enabled == 0) {
        set_integer(DICT_SHOPPER, "SERVE_SECURE", 1);
        return 0;
    }
    if (enabled == 2 || config_boolean("HTTPS_ALWAYS")) return 0;
    std::string action(var_string(DICT_SHOPPER, "ACTION"));
    if (!is_secure_action(action)) return 0;
    set_integer(DICT_SHOPPER, "SERVE_SECURE", 1);
    print_redirection(std::string(var_string(DICT_URL, "FORM_SECURE")) + "?action=" + action +
                      item_and_template(var_string(DICT_SHOPPER, "TEMPLATE")) + "&STORED_COOKIE=secure");
    return 1;
}
