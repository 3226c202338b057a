#include "config/paths.h"

#include "config/config.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

std::string dir_path(std::string_view key, const char *fallback, const char *name) {
    std::string dir(config_string(key));
    if (dir.empty()) dir = std::string(config_string("CAT_DIR")) + "/" + fallback;
    if (name) dir += "/" + std::string(name) + ".txt";
    return dir;
}

std::string with_format(std::string_view name) {
    std::string format(config_string("TEMPLATE_NAME_FORMAT"));
    if (format.empty()) format = "%s.html";
    return strsub(format, "%s", name);
}

}  // namespace

bool is_safe_filename_component(std::string_view name) {
    if (name.empty() || name.front() == '.') return false;
    if (name.find("..") != std::string_view::npos) return false;
    return name.find_first_of(std::string_view("/\\\0\r\n", 5)) == std::string_view::npos;
}

std::string Orvel_get_users_path(const char *name) { return dir_path("USERS_DIR", "users", name); }
std::string Orvel_get_orders_path(const char *name) { return dir_path("ORDERS_DIR", "orders", name); }
std::string Orvel_get_pending_order_path(const char *name) {
    return dir_path("PENDING_DIR", "pending", name);
}

bool is_valid_theme_name(std::string_view name) {
    if (name.empty() || name.front() == '.' || name.find("..") != npos) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
              c == '-' || c == '.'))
            return false;
    return true;
}

std::string get_theme() {
    std::string_view theme = DICT_SHOPPER ? var_string(DICT_SHOPPER, "THEME") : std::string_view();
    if (theme.empty()) theme = config_string("DEFAULT_THEME");
    // A theme names a directory and appears in document URLs: only
    // letters, digits, "_", "-" and "." (not leading) make a theme;
    // anything else counts as no theme.
    return is_valid_theme_name(theme) ? std::string(theme) : std::string();
}

std::string get_theme_root() {
    std::string theme = get_theme();
    std::string root(config_string("CAT_DIR"));
    if (!theme.empty()) root += "/themes/" + theme;
    return root;
}

std::string get_themed_pathname_only(std::string_view kind, std::string_view name) {
    return get_theme_root() + "/" + std::string(kind) + "/" + std::string(name);
}

std::string get_themed_pathname_or_default(std::string_view kind, std::string_view name) {
    std::string themed = get_themed_pathname_only(kind, name);
    if (fn_exists(themed) == 1) return themed;
    std::string_view def = config_string("DEFAULT_THEME");
    std::string cat(config_string("CAT_DIR"));
    if (is_valid_theme_name(def))
        return cat + "/themes/" + std::string(def) + "/" + std::string(kind) + "/" + std::string(name);
    return cat + "/" + std::string(kind) + "/" + std::string(name);
}

std::string get_rules_pathname(std::string_view name) { return get_themed_pathname_or_default("rules", name); }
std::string get_loops_pathname(std::string_view name) { return get_themed_pathname_or_default("loops", name); }

std::string get_servable_pathname(std::string_view name) {
    std::string prefix;
    std::string theme = get_theme();
    if (config_boolean("DOC_DIR_FOLLOWS_THEME") && !theme.empty()) {
        std::string themed = std::string(config_string("DOC_DIR")) + "/themes/" + theme + "/" + std::string(name);
        if (fn_exists(themed) == 1) return themed;
        prefix = "themes/" + theme + "/";
    }
    std::string candidate;
    std::vector<std::string_view> dirs = split_list(config_string("DOC_DIR"), ';');
    if (dirs.empty()) dirs.emplace_back();
    for (std::string_view dir : dirs) {
        candidate = std::string(dir) + "/" + prefix + std::string(name);
        if (fn_exists(candidate) == 1) return candidate;
    }
    return candidate;
}

namespace {

constexpr std::size_t MAX_LOOP_CACHE_ENTRIES = 10;

struct TextFree {
    void operator()(text *t) const { free_text(t); }
};

struct LoopCacheEntry {
    std::string name;
    std::unique_ptr<text, TextFree> lines;  // null: the file was missing
};

std::vector<LoopCacheEntry> &loop_cache() {
    static std::vector<LoopCacheEntry> cache;
    return cache;
}

}  // namespace

text *get_loop_text(std::string_view name, bool *owned) {
    if (owned) *owned = false;
    for (const LoopCacheEntry &e : loop_cache())
        if (e.name == name) return e.lines.get();
    text *lines = nullptr;
    std::string path = get_loops_pathname(name);
    if (is_safe_template_name(name)) {
        if (FILE *f = std::fopen(path.c_str(), "r")) {
            lines = new_text(nullptr);
            fp_slurp_file(f, lines, '#');
            std::fclose(f);
        }
    }
    if (loop_cache().size() < MAX_LOOP_CACHE_ENTRIES) {
        loop_cache().push_back({std::string(name), std::unique_ptr<text, TextFree>(lines)});
    } else {
        ovdebug("MAX_LOOP_CACHE_ENTRIES %d exceeded", static_cast<int>(MAX_LOOP_CACHE_ENTRIES));
        if (owned) *owned = lines != nullptr;
    }
    return lines;
}

bool is_safe_template_name(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find("..") == npos;
}

bool accept_template_filename(std::string_view name) {
    if (!is_safe_template_name(name)) return false;
    // The extension follows the last "." of the whole name; an anchor after
    // it ("page.html#top") is not part of the extension, while a "#" before
    // it ("page#top.html") belongs to the file name.
    std::size_t dot = strsuff(name);
    if (dot == npos) return false;
    std::string_view ext = name.substr(dot);
    ext = ext.substr(0, ext.find('#'));
    if (ext.empty()) return false;
    return striword("htm;html;txt;ovm;ovml;js", ext) != npos ||
           striword(config_string("ALLOWED_EXTENSIONS"), ext) != npos;
}

std::string get_template_pathname(std::string_view name) {
    std::string file(name);
    if (!is_safe_template_name(file)) {
        if (DICT_ORVEL)
            set_string(DICT_ORVEL, "MESSAGE",
                       "The page specified by the identifier \"" + quote_html_specials(file) +
                           "\" cannot be served.");
        file = "error";
    }
    std::string passed;
    if (DICT_SHOPPER && !(DICT_ORVEL && var_boolean(DICT_ORVEL, "USED_PASSED_TEMPLATE")))
        passed = std::string(var_string(DICT_SHOPPER, "TEMPLATE"));
    if (striword("error;empty;e204;minorder;message;welcome", file) != npos && !file.empty() &&
        file.find(';') == npos) {
        file = with_format(file);
    } else if (stribeg(file, "actions/") || stribeg(file, "hooks/") ||
               (!config_boolean("CUSTOM_SEARCH_FAILED") && file == "search/failed.html")) {
        // used as it is
    } else if (!passed.empty() && accept_template_filename(passed)) {
        file = config_boolean("FLAT_PASSED_TEMPLATES") ? passed : "custom/" + passed;
        if (DICT_ORVEL) set_integer(DICT_ORVEL, "USED_PASSED_TEMPLATE", 1);
    } else if (striword("view;view_frame;detail;checkout;frameset;receipt;frameset_msie", file) != npos &&
               file.find(';') == npos) {
        file = with_format(file);
    }
    return get_themed_pathname_or_default("templates", file);
}
