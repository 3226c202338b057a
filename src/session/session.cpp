#include "session/session.h"

#include "cgi/output.h"
#include "cgi/secure.h"
#include "config/config.h"
#include "session/client_store.h"
#include "session/identify.h"
#include "session/identity_key.h"
#include "strings/encodings.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdlib>
#include <ctime>

int identify_client() {
    if (find_passed_client()) {
        bless_preread_client();
        return 1;
    }
    delete_preread_client();
    allocate_new_client();
    return 0;
}

namespace {

constexpr std::size_t BAKED_COOKIE_MAX = 4000;

// The cookie-only session lines, hex-encoded, cut only between whole lines
// so that the cookie never carries half a line or half a byte.
std::string baked_session() {
    text *lines = new_text(nullptr);
    write_client_to_text(lines, true);
    std::string out;
    for (textstring *n = lines->first; n; n = n->next) {
        std::string encoded = encode_baseXX_string(n->string, 16).value_or("");
        if (out.size() + encoded.size() > BAKED_COOKIE_MAX) break;
        out += encoded;
    }
    free_text(lines);
    return out;
}

}  // namespace

std::string orvelcookie(int kind) {
    if (kind == 0 && var_defined(DICT_ORVEL, "_HTTP_COOKIE_CACHED"))
        return std::string(var_string(DICT_ORVEL, "_HTTP_COOKIE_CACHED"));
    std::time_t expiry = 0;
    if (kind == 1) expiry = 1;
    else if (kind != 2 && !config_boolean("DISABLE_COOKIES")) expiry = std::time(nullptr) + get_cookie_expire_period();
    std::string header;
    std::string id = unsigned_encapsulated_client_id();
    if (!id.empty() && expiry != 0) {
        std::string value = id;
        if (config_boolean("BAKE_USERFILE")) value += "~" + baked_session();
        // The whole value is signed, baked lines included.
        value = sign_identity(value);
        if (!value.empty())
            header = bake_multidomain_cookie(Orvel_standard_cookie_name(false), value, cookie_time(expiry));
    }
    set_string(DICT_ORVEL, "_HTTP_COOKIE_CACHED", header);
    return header;
}

void initialize_client() {
    set_string(DICT_ORVEL, "DATE", my_strdatetime());
    std::string_view action = var_string(DICT_SHOPPER, "ACTION");
    if (!action.empty()) set_string(DICT_SHOPPER, "ACTION", upper(action));
    initialize_action_url();
}

void transfer_env(const char *name, const char *target) {
    set_string(DICT_ORVEL, target ? target : name, Orvel_getenv(name));
}

void set_client_http_data() {
    static const char *const names[] = {"REMOTE_USER", "REMOTE_HOST", "REMOTE_ADDR", "HTTP_USER_AGENT",
                                        "HTTP_REFERER"};
    bool minimal = config_boolean("MINIMAL_USER_FILES");
    for (const char *name : names) {
        transfer_env(name, nullptr);
        if (!minimal) set_string(DICT_SHOPPER, name, Orvel_getenv(name));
    }
    if (!var_defined(DICT_SHOPPER, "ORIGIN")) {
        set_string(DICT_SHOPPER, "ORIGIN",
                   dupsprintf("%s@%s:%s <%s> ; %s via %s", Orvel_getenv("REMOTE_USER"),
                              Orvel_getenv("REMOTE_ADDR"), Orvel_getenv("REMOTE_PORT"),
                              Orvel_getenv("REMOTE_HOST"), Orvel_getenv("HTTP_USER_AGENT"),
                              Orvel_getenv("HTTP_REFERER")));
        if (!minimal) {
            set_string(DICT_SHOPPER, "BROWSER_ID", Orvel_getenv("HTTP_USER_AGENT"));
            std::string_view host = Orvel_getenv("REMOTE_HOST");
            set_string(DICT_SHOPPER, "SHOPPER_ID", host.empty() ? Orvel_getenv("REMOTE_ADDR") : host);
            set_string(DICT_SHOPPER, "REFERER", Orvel_getenv("HTTP_REFERER"));
        }
    }
}

std::string referer_not_orvel() {
    std::string_view referer = Orvel_getenv("HTTP_REFERER");
    if (referer.empty()) return {};
    if (striword(referer, config_string("ORVEL_NAME")) != npos) return {};
    return std::string(referer);
}

void save_previous_non_orvel_referer() {
    std::string referer = referer_not_orvel();
    if (!referer.empty()) set_string(DICT_SHOPPER, "LAST_STATIC_REFERER", referer);
}

std::string remote_user_hash() {
    static std::string tag;
    if (!tag.empty()) return tag;
    static const char odd[] = "bcdfghjklm";
    static const char even[] = "aeiouyaeio";
    std::string seed = std::string(Orvel_getenv("REMOTE_ADDR")) + Orvel_getenv("HTTP_USER_AGENT");
    std::string digits = std::to_string(static_cast<unsigned long>(my_strhash(seed)) + 12345UL);
    for (std::size_t i = 0; i < digits.size() && tag.size() < 5; ++i)
        tag += (i % 2 ? even : odd)[digits[i] - '0'];
    while (tag.size() < 5) tag += 'x';
    tag[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(tag[0])));
    return tag;
}

void weed_selected() {
    var *v = DICT_SELECTED ? DICT_SELECTED->next : nullptr;
    while (v) {
        var *next = v->next;
        if (value_as_integer(v->value, 0) <= 0) unset_var(DICT_SELECTED, v->name);
        v = next;
    }
}
