#include "session/client_store.h"

#include "cgi/output.h"
#include "config/config.h"
#include "config/paths.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "rules/field_rules.h"
#include "session/session.h"
#include "strings/random.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int MAX_ID_DRAWS = 1000;
constexpr long long DEFAULT_MAX_SESSION_SIZE = 1LL << 20;

// The session file this request reserved for a new shopper, until the
// session is first written.
std::string new_client_reserved;

FileLock client_lock;
std::string client_lock_id;

bool is_eight_digits(std::string_view id) {
    if (id.size() != 8) return false;
    for (char c : id)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string users_file(const char *format, std::string_view id) {
    std::string dir = Orvel_get_users_path();
    return dupsprintf(format, dir.c_str(), std::string(id).c_str());
}

bool readable(const std::string &path) { return ::access(path.c_str(), R_OK) == 0; }

// Fields that steer one request only.  Stored, they would replay the
// request on a bare reload or a plain store link (an ADD adding again), so
// they are never written to a session and never taken from one.
bool is_request_only_field(std::string_view name) {
    return name == "ACTION" || name == "ITEM" || name == "TEMPLATE" || name == "RANDOMIZER" ||
           name == "SEARCH_SPEC";
}

// A shopper field whose rule begins with "!" or "-" is never stored.
bool field_is_saved(const char *name) {
    return !is_request_only_field(name) && field_rules_save_field(name) != 0;
}

void ensure_creation_date() {
    if (var_integer(DICT_SHOPPER, "USERFILE_CREATION_DATE", 0) == 0)
        set_integer(DICT_SHOPPER, "USERFILE_CREATION_DATE", static_cast<int>(std::time(nullptr)));
}

void write_failure_page(const std::string &path) {
    cgidie("Failed to access or create shopper data file \"%s\" for writing.  This usually means that your users "
           "directory is not readable or writable by the Orvel CGI, which in turn usually means that your web "
           "server is not executing CGI programs as your user id.  In short, Orvel probably doesn't have "
           "permission to write the file.",
           quote_html_specials(path).c_str());
}

}  // namespace

std::string new_client_id() { return dupsprintf("%8.8d", secure_random(89999999) + 10000000); }

bool client_exists(std::string_view id) {
    if (!is_eight_digits(id)) return false;
    return readable(users_file("%s/user%s.txt", id)) || readable(users_file("%s/kept/user%s.txt", id));
}

const char *is_invalid_client_id(const char *id) {
    if (!id) return "client-id is null";
    if (!*id) return "client-id is empty";
    if (!is_eight_digits(id)) return "client-id is malformed";
    return nullptr;
}

void lock_client(std::string_view id) {
    if (!is_eight_digits(id) || client_lock_id == id) return;
    client_lock.release();
    client_lock_id.clear();
    std::string path = users_file("%s/user%s.lock", id);
    client_lock = FileLock(path);
    if (client_lock.held()) {
        client_lock_id = std::string(id);
        fn_touch(path);  // keeps an active shopper's lock file out of the age purge
    }
}

void allocate_new_client() {
    bool writable = Orvel_writable_userfiles();
    for (int draw = 0; draw < MAX_ID_DRAWS; ++draw) {
        std::string id = new_client_id();
        if (client_exists(id)) continue;
        if (writable) {
            // The reservation is created exclusively: a concurrent request
            // that drew the same id draws again.
            std::string path = users_file("%s/user%s.txt", id);
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, protect_file_mode());
            if (fd < 0) {
                if (errno == EEXIST) continue;
                write_failure_page(path);
            }
            std::string line = dupsprintf("reserved for %s\n", header_safe(Orvel_getenv("REMOTE_ADDR")).c_str());
            bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
            if (::close(fd) != 0 || !ok) {
                ::unlink(path.c_str());
                write_failure_page(path);
            }
            new_client_reserved = path;
        }
        ovdebug("assign new client-id %s", id.c_str());
        set_string(DICT_SHOPPER, "CLIENT", id);
        lock_client(id);
        return;
    }
    cgidie("Unable to allocate new client-id.  Please try again later.");
}

void discard_new_client_reservation() {
    if (new_client_reserved.empty()) return;
    std::string lock_path = new_client_reserved.substr(0, new_client_reserved.size() - 4) + ".lock";
    ::unlink(new_client_reserved.c_str());
    if (client_lock.held() && users_file("%s/user%s.lock", client_lock_id) == lock_path) {
        ::unlink(lock_path.c_str());
        client_lock.release();
        client_lock_id.clear();
    }
    new_client_reserved.clear();
}

std::optional<std::string> get_client_id() {
    std::string_view id = DICT_SHOPPER ? var_string(DICT_SHOPPER, "CLIENT") : std::string_view();
    if (id.empty()) return std::nullopt;
    return std::string(id);
}

std::string get_client_id_string() { return get_client_id().value_or(""); }

std::optional<std::string> get_client_fn(std::string_view id) {
    std::string which = id.empty() ? get_client_id_string() : std::string(id);
    if (!is_eight_digits(which)) return std::nullopt;
    return users_file("%s/user%s.txt", which);
}

std::optional<std::string> get_kept_client_fn(std::string_view id) {
    std::string which = id.empty() ? get_client_id_string() : std::string(id);
    if (!is_eight_digits(which)) return std::nullopt;
    return users_file("%s/kept/user%s.txt", which);
}

bool Orvel_writable_userfiles() {
    return !var_boolean(DICT_ARGS, "NOWUSER") && !config_boolean("DISABLE_USERFILES");
}

text *read_client_raw(std::string_view id) {
    if (config_boolean("DISABLE_USERFILES")) return nullptr;
    std::optional<std::string> path = get_client_fn(id);
    if (!path) return nullptr;
    FILE *f = std::fopen(path->c_str(), "r");
    if (!f && config_boolean("KEEP_USER_FILES")) {
        path = get_kept_client_fn(id);
        f = std::fopen(path->c_str(), "r");
    }
    if (!f) return nullptr;
    fp_lock_debug(f, FLOCK_READ, path->c_str());
    text *lines = new_text(nullptr);
    std::string line;
    while (fp_read_line(line, f)) {
        std::string_view kept = trimr_ws(line);
        if (!kept.empty()) text_addstring(lines, dup_cstring(kept));
    }
    fp_lock_debug(f, FLOCK_UNLOCK, path->c_str());
    std::fclose(f);
    return lines;
}

void read_client_from_text(const text *lines, var *shopper, var *selected) {
    for (textstring *n = lines ? lines->first : nullptr; n; n = n->next) {
        std::string_view line(n->string);
        std::size_t colon = line.find(':');
        if (colon == npos) continue;
        std::string name = upper(trim_ws(line.substr(0, colon)));
        std::string value(trim_ws(line.substr(colon + 1)));
        if (name.empty() || name.front() == '%') continue;
        if (name.front() == '_') {
            name.erase(0, 1);
            if (!shopper || var_defined(DICT_INPUT, name) || is_request_only_field(name)) continue;
            set_string(shopper, name, unescape_nl(value));
        } else if (selected && !var_defined(selected, name)) {
            set_string(selected, name, value);
        }
    }
}

int read_client_from_id_into(std::string_view id, var *shopper, var *selected) {
    text *lines = read_client_raw(id);
    if (!lines) return 0;
    if (shopper) set_none(shopper, "_FIRST_READ_CLIENT_FIELD");
    read_client_from_text(lines, shopper, selected);
    if (shopper) set_none(shopper, "_LAST_READ_CLIENT_FIELD");
    free_text(lines);
    return 1;
}

int read_client() {
    if (var_boolean(DICT_ORVEL, "READ_BAKED_USERFILE")) {
        ovdebug("using baked userfile from passed cookie");
        return 1;
    }
    if (var_boolean(DICT_ORVEL, "PREREAD_BLESSED")) {
        ovdebug("using blessed preread userfile");
        return 1;
    }
    std::string id = get_client_id_string();
    lock_client(id);
    return read_client_from_id_into(id, DICT_SHOPPER, DICT_SELECTED);
}

int preread_client(std::string_view id) {
    lock_client(id);
    if (!DICT_SHOPPER_PR) DICT_SHOPPER_PR = new_var(nullptr);
    if (!DICT_SELECTED_PR) DICT_SELECTED_PR = new_var(nullptr);
    return read_client_from_id_into(id, DICT_SHOPPER_PR, DICT_SELECTED_PR);
}

void delete_preread_client() {
    if (DICT_SHOPPER_PR) DICT_SHOPPER_PR = nuke_var(DICT_SHOPPER_PR);
    if (DICT_SELECTED_PR) DICT_SELECTED_PR = nuke_var(DICT_SELECTED_PR);
}

void bless_preread_client() {
    // Values from the current query (already in the live dictionaries) win
    // over stored ones, as they do when the session is read directly.
    if (DICT_SHOPPER_PR) copy_var(DICT_SHOPPER_PR, DICT_SHOPPER, 0);
    if (DICT_SELECTED_PR) copy_var(DICT_SELECTED_PR, DICT_SELECTED, 0);
    delete_preread_client();
}

void write_client_to_text(text *out, bool cookie_only) {
    if (!cookie_only) ensure_creation_date();
    for (var *v = DICT_SELECTED->next; v; v = v->next) {
        int quantity = value_as_integer(v->value, 0);
        if (quantity > 0) text_addstring(out, dup_cstring(dupsprintf("%s:%d\n", v->name, quantity)));
    }
    if (!cookie_only || config_boolean("DISABLE_USERFILES")) {
        for (var *v = DICT_SHOPPER->next; v; v = v->next) {
            std::string value(value_as_string(v->value));
            if (value.empty() || strbeg(v->name, "SEARCH_KEY_") || !field_is_saved(v->name)) continue;
            text_addstring(out, dup_cstring("_" + std::string(v->name) + ":" + escape_nl(value) + "\n"));
        }
    }
    if (!cookie_only) {
        for (var *v = DICT_TOTALS->next; v; v = v->next)
            text_addstring(out, dup_cstring("%OVT_" + std::string(v->name) + ":" +
                                            std::string(value_as_string(v->value)) + "\n"));
    }
}

void write_client() {
    if (!Orvel_writable_userfiles()) return;
    std::optional<std::string> path = get_client_fn();
    if (!path) return;
    ensure_creation_date();
    text *lines = new_text(nullptr);
    write_client_to_text(lines, false);
    char *joined = text_tostring(lines);
    std::string contents(joined);
    std::free(joined);
    free_text(lines);
    long long limit = config_defined("MAX_SESSION_SIZE") ? config_integer("MAX_SESSION_SIZE", 0) : 0;
    if (limit <= 0) limit = DEFAULT_MAX_SESSION_SIZE;
    if (static_cast<long long>(contents.size()) > limit) {
        discard_held_output();
        cgidie("Your shopping session has grown too large to be saved (%lld bytes; this store keeps at most %lld).  "
               "Nothing from this request was saved.",
               static_cast<long long>(contents.size()), limit);
    }
    // Replaced as a whole: a concurrent reader sees the old or the new
    // session, never a partial one, and a failed write keeps the old one.
    if (!fn_replace_file(*path, contents)) {
        // A new shopper's reservation holds nothing worth keeping.
        if (new_client_reserved == *path) ::unlink(path->c_str());
        discard_held_output();
        write_failure_page(*path);
    }
    new_client_reserved.clear();
}

void delete_client_files() {
    std::optional<std::string> id = get_client_id();
    if (!id || is_invalid_client_id(id->c_str())) return;
    fn_delete(users_file("%s/user%s.txt", *id));
    fn_delete(users_file("%s/data%s.txt", *id));
    std::string order(var_string(DICT_SHOPPER, "ORDER_ID"));
    if (order.empty()) return;
    if (!is_safe_filename_component(order)) {
        overror("refused to delete pending order for unsafe order id \"%s\"", order.c_str());
        return;
    }
    fn_delete(Orvel_get_pending_order_path(order.c_str()));
}

void nuke_userfile_client_data() {
    std::string client = get_client_id_string();
    std::vector<std::string> names;
    for (var *v = get_var(DICT_SHOPPER, std::string_view("_FIRST_READ_CLIENT_FIELD")); v; v = v->next)
        names.emplace_back(v->name);
    for (const std::string &n : names) unset_var(DICT_SHOPPER, n);
    set_string(DICT_SHOPPER, "CLIENT", client);
}

void wipe_client_region(std::string_view first, std::string_view last) {
    var *from = get_var(DICT_SHOPPER, first);
    var *to = get_var(DICT_SHOPPER, last);
    if (!from || !to) return;
    std::vector<std::string> names;
    for (var *v = from; v; v = v->next) {
        names.emplace_back(v->name);
        if (v == to) break;
    }
    for (const std::string &n : names) unset_var(DICT_SHOPPER, n);
}

void nuke_selected() {
    std::vector<std::string> names;
    for (var *v = DICT_SELECTED->next; v; v = v->next) names.emplace_back(v->name);
    for (const std::string &n : names) unset_var(DICT_SELECTED, n);
}

void forget_client() {
    orvelcookie(1);
    delete_client_files();
    nuke_selected();
    nuke_userfile_client_data();
}

int maybe_delete_client() {
    delete_client_files();
    std::optional<std::string> kept = get_kept_client_fn();
    if (!config_boolean("KEEP_USER_FILES") || !kept) return 1;
    std::string template_path = get_template_pathname("kept_shopper.txt");
    std::string source;
    if (!fn_read_file(template_path, source)) {
        overror("failed to read persistent user file template: %s", template_path.c_str());
        return 1;
    }
    std::string dir = Orvel_get_users_path() + "/kept";
    if (fn_exists(dir) != 1) fn_mkdir(dir, false);
    FileLock lock(*kept + ".lock");
    if (!fn_replace_file(*kept, render_OVML_String(source))) {
        overror("failed to write persistent user file: %s", kept->c_str());
        return 1;
    }
    return 0;
}

int maybe_burn_cookie() {
    if (config_boolean("KEEP_USER_FILES")) return 0;
    orvelcookie(1);
    return 1;
}
