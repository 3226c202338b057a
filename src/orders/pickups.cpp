#include "orders/pickups.h"

#include "catalog/products.h"
#include "config/config.h"
#include "config/paths.h"
#include "orders/record_files.h"
#include "ovml/tokens.h"
#include "platform/files.h"
#include "session/client_store.h"
#include "strings/random.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

// Each letter and digit once, in an order of the store's own.
constexpr std::string_view PICKUP_ALPHABET = "zHZbTV075NwDUru2fSpt9omBk8CnOKxXRsPGQgFAhMEJW1qIy63icealjLdvY4";
static_assert(PICKUP_ALPHABET.size() == 62);
constexpr std::size_t PICKUP_ID_LENGTH = 32;
constexpr std::size_t EXPIRY_DIGITS = 14;
constexpr int DEFAULT_PICKUP_EXPIRES = 3600;

std::string registry_path() { return std::string(config_string("CAT_DIR")) + "/pickups.txt"; }

std::string registry_line(const pickup &p) {
    return p.id + ";" + p.file + ";" + p.expires + ";" + (p.inline_style ? "inline" : "attach") + "\n";
}

// A field of a registry line must not carry the field separator or a line
// break, or it would change the line's meaning.
bool fits_registry_field(std::string_view s) { return s.find_first_of(";\r\n") == npos; }

int product_expiry_seconds(var *product) {
    int seconds = config_integer("DEFAULT_PICKUP_EXPIRES", DEFAULT_PICKUP_EXPIRES);
    if (seconds <= 0) seconds = DEFAULT_PICKUP_EXPIRES;
    if (var *own = get_product_field(product, "PICKUP_EXPIRES")) {
        const int n = value_as_integer(own->value, 0);
        if (n > 0) seconds = n;
    }
    return seconds;
}

bool product_inline(var *product) {
    if (var *own = get_product_field(product, "PICKUP_INLINE")) return value_as_boolean(own->value) != 0;
    return config_boolean("DEFAULT_PICKUP_INLINE");
}

}  // namespace

std::string_view pickup_seed() { return PICKUP_ALPHABET; }

std::string hash_pickup(std::string_view, std::string_view) {
    std::string id;
    id.reserve(PICKUP_ID_LENGTH);
    for (std::size_t i = 0; i < PICKUP_ID_LENGTH; ++i)
        id += PICKUP_ALPHABET[static_cast<std::size_t>(secure_random(static_cast<int>(PICKUP_ALPHABET.size())))];
    return id;
}

bool is_safe_softgoods_name(std::string_view file) {
    if (file.empty()) return false;
    for (std::string_view part : split_list(file, '/'))
        if (!is_safe_filename_component(part)) return false;
    return true;
}

int derive_pickup(pickup &p, std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::string_view f : split_list(trimr_ws(line), ';'))
        if (!f.empty()) fields.push_back(f);
    if (fields.size() < 2) return 0;
    p.id = fields[0];
    p.file = fields[1];
    p.expires = fields.size() > 2 ? fields[2].substr(0, EXPIRY_DIGITS) : std::string_view();
    p.inline_style = fields.size() > 3 && strisame(fields[3], "inline");
    return 1;
}

bool is_stale_pickup_date(std::string_view expiry) {
    const std::time_t now = std::time(nullptr);
    if (expiry.size() >= EXPIRY_DIGITS) return my_strdatetime(&now) > expiry.substr(0, EXPIRY_DIGITS);
    // A shorter text is a number of seconds since the epoch; an empty or
    // unreadable one has no expiry at all and counts as expired.
    const std::string text(expiry);
    char *end = nullptr;
    errno = 0;
    const unsigned long long seconds = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || end == text.c_str() || errno == ERANGE) return true;
    return seconds < static_cast<unsigned long long>(now);
}

std::optional<pickup> register_pickup(std::string_view client_id, std::string_view file,
                                      std::string_view expiry_text, bool inline_style) {
    if (!is_safe_softgoods_name(file) || !fits_registry_field(file) || !fits_registry_field(expiry_text)) {
        overror("pickup not registered: unusable file name \"%s\" or expiry \"%s\"", std::string(file).c_str(),
                std::string(expiry_text).c_str());
        return std::nullopt;
    }
    pickup p{hash_pickup(client_id, file), std::string(file), std::string(expiry_text.substr(0, EXPIRY_DIGITS)),
             inline_style};
    const std::string path = registry_path();
    FileLock lock(record_lock_path(path));
    if (!lock.held() || !append_record_file(path, registry_line(p))) {
        overror("pickup of \"%s\" not registered in %s: %s", p.file.c_str(), path.c_str(), record_error().c_str());
        return std::nullopt;
    }
    return p;
}

std::optional<pickup> verify_pickup(std::string_view id) {
    if (id.empty()) return std::nullopt;
    const std::string path = registry_path();
    // Every change replaces the registry whole, so the shared lock only
    // keeps the reading in step with the writers; reading goes on without it.
    FileLock lock(record_lock_path(path), false);
    std::string contents;
    if (!fn_read_file(path, contents)) return std::nullopt;
    for (std::string_view line : whole_lines(contents)) {
        pickup p;
        if (derive_pickup(p, line) && p.id == id && !is_stale_pickup_date(p.expires)) return p;
    }
    return std::nullopt;
}

int purge_pickups() {
    const std::string path = registry_path();
    if (fn_exists(path) != 1) return 0;
    FileLock lock(record_lock_path(path));
    if (!lock.held()) {
        // Rewriting without the lock could drop an entry added meanwhile.
        overror("pickup registry %s not purged: its lock cannot be taken: %s", path.c_str(), record_error().c_str());
        return 0;
    }
    std::string contents;
    if (!fn_read_file(path, contents)) return 0;
    std::string kept;
    int dropped = 0;
    for (std::string_view line : whole_lines(contents)) {
        pickup p;
        if (!derive_pickup(p, line) || is_stale_pickup_date(p.expires)) {
            ++dropped;
            continue;
        }
        kept += line;
        if (kept.back() != '\n') kept += '\n';
    }
    if (dropped == 0) return 0;
    if (!fn_replace_file(path, kept)) {
        overror("pickup registry %s not purged: %s", path.c_str(), record_error().c_str());
        return 0;
    }
    return dropped;
}

int initialize_pickups() {
    if (var_boolean(DICT_ORVEL, "SOFTGOODS_REGISTERED")) return 1;
    const std::optional<std::string> client = get_client_id();
    if (!client) return 0;
    const std::time_t now = std::time(nullptr);
    int registered = 0;
    CurrentProductScope scope;
    for (var *v = DICT_SELECTED->next; v; v = v->next) {
        var *product = get_product(v->name);
        var *fn = product ? get_product_field(product, "PICKUP_FN") : nullptr;
        if (!fn || value_view(fn->value).empty()) continue;
        current_product(product);
        const std::string file = ovmlsub(value_view(fn->value));
        const std::time_t expires = now + product_expiry_seconds(product);
        std::optional<pickup> p = register_pickup(*client, file, my_strdatetime(&expires), product_inline(product));
        if (!p) {
            overror("download of product %s not registered for client %s", v->name, client->c_str());
            continue;
        }
        set_string(product, "PICKUP_ID", p->id);
        set_none(DICT_PICKUPS, v->name);
        ++registered;
    }
    if (registered > 0) set_integer(DICT_ORVEL, "SOFTGOODS_REGISTERED", 1);
    return purge_pickups();
}
