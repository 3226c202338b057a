#include "config/config.h"

#include "cgi/secure.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <cstdio>

extern "C" {
char OVML_Tag_Open = '<';
char OVML_Tag_Close = '>';
char Option_Code_Delimiter = '-';
const char *required_config_fields[] = {"ORVEL_NAME",    "CAT_DIR",     "CGI_DIR",     "DOC_DIR",
                                        "HTTP_CGI_BIN",  "HTTP_DOC_ROOT", "START_PAGE", "MAIL_PATH",
                                        "STORE_NAME",    "STORE_PHONE", "STORE_EMAIL", "STORE_HOMEPAGE",
                                        ""};
}

std::string_view config_string(std::string_view key) {
    return DICT_CONFIG ? var_string(DICT_CONFIG, key) : std::string_view();
}
int config_integer(std::string_view key, int def) {
    return DICT_CONFIG ? var_integer(DICT_CONFIG, key, def) : def;
}
bool config_boolean(std::string_view key) { return DICT_CONFIG && var_boolean(DICT_CONFIG, key); }
bool config_defined(std::string_view key) { return DICT_CONFIG && var_defined(DICT_CONFIG, key); }

std::optional<std::string> find_existing_config_fn() {
    if (fn_exists("orvel.config") == 1) return std::string("orvel.config");
    std::string_view env = Orvel_getenv("ORVEL_CONFIG");
    if (!env.empty() && fn_exists(std::string(env)) == 1) return std::string(env);
    std::string_view argv0 = DICT_ORVEL ? var_string(DICT_ORVEL, "ORVEL_ARGV0") : std::string_view();
    if (!argv0.empty()) {
        std::size_t slash = argv0.rfind('/');
        std::string dir = slash == npos ? std::string(".") : std::string(argv0.substr(0, slash));
        std::string file(slash == npos ? argv0 : argv0.substr(slash + 1));
        if (std::size_t dot = file.rfind('.'); dot != npos) file.resize(dot);
        std::string path = dir + "/" + file + ".config";
        if (fn_exists(path) == 1) return path;
    }
    return std::nullopt;
}

std::optional<std::string> find_config(FILE **file) {
    *file = std::fopen("orvel.config", "r");
    if (*file) return std::nullopt;
    std::optional<std::string> path = find_existing_config_fn();
    if (path) {
        *file = std::fopen(path->c_str(), "r");
        return std::nullopt;
    }
    record_error();
    return dupsprintf(
        "<tt>\n<p>Orvel couldn't find her configuration file.  In the best of worlds, it should exist as a "
        "readable file named \"orvel.config\" in the same directory as your Orvel CGI.  Check to make sure "
        "it's there.</P>\n<P>If orvel.config exists in the same directory as your Orvel CGI and is readable, "
        "then your server probably doesn't set her \"current working directory\".  Right now, Orvel thinks "
        "she is in \"%s\".</P>\n<P>The easy solution is to move your orvel.config file to that directory.  "
        "However, you should consult your web server's documentation (or your ISP) to find out if your server "
        "has an option to set a CGI's working directory to its location.</P></TT>\n",
        my_getcwd().c_str());
}

std::optional<std::string> fill_config() {
    FILE *file = nullptr;
    if (std::optional<std::string> message = find_config(&file)) return message;
    if (file) {
        std::string line;
        PrefLine pref;
        while (my_fgets(line, PREF_LINE_MAX, file))
            if (explode_colon(":", '#', line, pref) == 0) set_string(DICT_CONFIG, pref.name, pref.value);
        std::fclose(file);
    }
    set_none(DICT_CONFIG, "_END_");
    return std::nullopt;
}

namespace {

void replace_config_text(std::string_view key, std::string text) {
    if (var_defined(DICT_CONFIG, key)) set_string(DICT_CONFIG, key, text);
}

std::string squeeze_spaces_to_commas(std::string_view text) { return chrsqz(text, ' ', ','); }

std::string strip_trailing_slashes(std::string_view text) {
    while (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return std::string(text);
}

// The path part of a URL: from the first "/" after "://", or "".
std::string url_path(std::string_view url) {
    std::size_t scheme = url.find("://");
    if (scheme == npos) return {};
    std::size_t slash = url.find('/', scheme + 3);
    return slash == npos ? std::string() : std::string(url.substr(slash));
}

}  // namespace

void validate_config() {
    for (const char **field = required_config_fields; **field; ++field)
        if (!var_defined(DICT_CONFIG, *field))
            cgidie("Your config file is missing its <KBD>%s</KBD> field.  Please enter it with the appropriate "
                   "value.",
                   *field);
    std::string_view tags = config_string("OVML_TAG_CHARS");
    if (tags.size() == 2) {
        OVML_Tag_Open = tags[0];
        OVML_Tag_Close = tags[1];
    }
    std::string_view delimiter = config_string("OPTION_CODE_DELIMITER");
    if (delimiter.size() == 1) Option_Code_Delimiter = delimiter[0];
    for (const char *key : {"CAT_DIR", "CGI_DIR", "DOC_DIR", "MAIL_PATH"}) {
        std::string text(config_string(key));
        replace_config_text(key, chrsub(text, '\\', '/'));
    }
    for (const char *key : {"ORDER_RECIPIENTS", "STORE_EMAIL"})
        replace_config_text(key, squeeze_spaces_to_commas(config_string(key)));
    if (!config_defined("REMEMBER_HOSTS")) set_integer(DICT_CONFIG, "REMEMBER_HOSTS", 1);
    if (my_stristr(config_string("ORVEL_NAME"), "orvel") == npos)
        cgidie("%s", "The name of your Orvel CGI must contain \"orvel\" (or \"ORVEL\"; case does not matter).  "
                     "Rename it and/or set the ORVEL_NAME field in your orvel.config file to the new name.");
    initialize_url();
}

void initialize_url() {
    for (const char *key : {"HTTP_CGI_BIN", "HTTPS_CGI_BIN", "HTTP_DOC_ROOT", "HTTPS_DOC_ROOT"})
        replace_config_text(key, strip_trailing_slashes(config_string(key)));
    if (config_boolean("HTTPS_ALWAYS")) {
        set_integer(DICT_CONFIG, "HTTPS_ENABLED", 1);
        set_string(DICT_CONFIG, "HTTP_DOC_ROOT", config_string("HTTPS_DOC_ROOT"));
        set_string(DICT_CONFIG, "HTTP_CGI_BIN", config_string("HTTPS_CGI_BIN"));
    }
    if (config_boolean("HTTPS_ENABLED")) {
        if (config_string("HTTPS_CGI_BIN").empty())
            cgidie("<KBD>HTTPS_ENABLED</KBD> is set true in the <B><TT>orvel.config</TT></B> file, but the "
                   "<KBD>HTTPS_CGI_BIN</KBD> field is missing or empty.  Please set it to the URL of Orvel's CGI "
                   "files on your secure server, or set <KBD>HTTPS_ENABLED</KBD> to '0' to disable HTTPS.");
        if (!config_boolean("HTTPS_DOC_ROOT"))
            cgidie("<KBD>HTTPS_ENABLED</KBD> is set true in the <B><TT>orvel.config</TT></B> file, but the "
                   "<KBD>HTTPS_DOC_ROOT</KBD> field is missing or empty.  Please set it to the URL of Orvel's "
                   "documents on your secure server, or set <KBD>HTTPS_ENABLED</KBD> to '0' to disable HTTPS.");
    }
    populate_url_namespace();
    std::string cgi_bin = strip_trailing_slashes(config_string("ORVEL_CGI_BIN"));
    if (cgi_bin.empty()) cgi_bin = url_path(var_string(DICT_URL, "MAIN_NONSECURE"));
    set_string(DICT_CONFIG, "ORVEL_CGI_BIN", cgi_bin);
}
