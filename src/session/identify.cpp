#include "session/identify.h"

#include "catalog/selection.h"
#include "cgi/cookies_mime.h"
#include "cgi/output.h"
#include "cgi/secure.h"
#include "config/config.h"
#include "core/actions.h"
#include "session/client_store.h"
#include "session/identity_key.h"
#include "session/session.h"
#include "strings/encodings.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdlib>
#include <ctime>
#include <map>

namespace {

constexpr char RS = '\x1e';
constexpr std::size_t MAX_REJECTED_ID = 528;
constexpr std::size_t REJECTED_CAPACITY = 531;

bool in_rejected(const statetracker &t, std::string_view id) { return striword(t.rejected, id) != npos; }

// The store's cookie as the browser sent it.  The cookies are filed into
// DICT_COOKIES once per request: filing them again would join every value
// with itself.
const std::string &received_cookie() {
    static std::optional<std::string> value;
    if (!value) {
        digest_cookies();
        value = std::string(var_string(DICT_COOKIES, Orvel_standard_cookie_name(true)));
    }
    return *value;
}

// The baked session lines of a cookie, one string per line.
text *lines_of(std::string_view s) {
    text *whole = new_text(dup_cstring(s));
    text *lines = break_text(whole);
    free_text(whole);
    return lines;
}

// Selected quantities of a cart text ("CODE:qty" lines), upper-cased codes.
std::map<std::string, int> cart_of(var *selected) {
    std::map<std::string, int> cart;
    for (var *v = selected ? selected->next : nullptr; v; v = v->next)
        cart[v->name] = value_as_integer(v->value, 0);
    return cart;
}

void reconcile_carts(var *preread, var *baked) {
    std::map<std::string, int> file = cart_of(preread), cookie = cart_of(baked);
    for (const auto &[code, q] : file) {
        auto other = cookie.find(code);
        int c = other == cookie.end() ? -1 : other->second;
        if (q == c && q > 0 && get_selected_quantity(code) == 0 && !var_defined(DICT_SELECTED, code)) {
            set_selected_quantity(code, q);
            ovdebug("set agreed cookie quantity %s:%d", code.c_str(), q);
        } else if (q != c) {
            ovdebug("userfile(%d) and cookie(%d) disagree about %s", q, c, code.c_str());
        }
    }
    for (const auto &[code, c] : cookie)
        if (file.find(code) == file.end()) ovdebug("cookie(%d) and userfile(%d) disagree about %s", c, -1, code.c_str());
}

// The checks shared by the path and query sources.
std::optional<std::string> check_path_or_query(statetracker &t, const char *source) {
    const std::string id = t.nominee;
    if (const char *reason = returning_client_invalid(id)) {
        ovdebug("reject %s client %s; %s", source, id.c_str(), reason);
        return statetracker_reject(t);
    }
    preread_client(id);
    if (client_forgot_cookie(id)) {
        ovdebug("reject %s client %s; forgot cookie", source, id.c_str());
        delete_preread_client();
        return statetracker_reject(t);
    }
    if (is_infantile_client(id)) {
        ovdebug("accept %s client %s; infant", source, id.c_str());
        return statetracker_approve(t);
    }
    if (is_allowed_referer()) {
        ovdebug("accept %s client %s; allowed referer", source, id.c_str());
        return statetracker_approve(t);
    }
    if (config_boolean("PARANOID_REFERER_CHECK")) {
        ovdebug("reject %s client %s; PARANOID_REFERER_CHECK", source, id.c_str());
        delete_preread_client();
        return statetracker_reject(t);
    }
    if (config_boolean("CLIENT_CHECK_DEFAULT")) {
        ovdebug("accept %s client %s; default", source, id.c_str());
        return statetracker_approve(t);
    }
    ovdebug("reject %s client %s; default", source, id.c_str());
    delete_preread_client();
    return statetracker_reject(t);
}

std::string to_base62_field(long n) {
    std::string digits = Orvel_tobaseXX(n, 62).value_or("");
    if (digits.size() < 6) digits.insert(0, 6 - digits.size(), '0');
    return digits;
}

}  // namespace

void init_statetracker(statetracker &t) { t = statetracker{}; }

int statetracker_nominate(statetracker &t, std::string_view id) {
    t.has_nominee = false;
    t.nominee.clear();
    if (id.empty()) return 0;
    if (in_rejected(t, id)) {
        ovdebug("reject nomination of %s in %s", std::string(id).c_str(), t.rejected.c_str());
        return 0;
    }
    t.nominee = std::string(id);
    t.has_nominee = true;
    return 1;
}

std::optional<std::string> statetracker_approve(statetracker &t) {
    t.approved = false;
    if (!t.has_nominee || t.nominee.empty() || in_rejected(t, t.nominee)) return std::nullopt;
    t.approved = true;
    return t.nominee;
}

std::nullopt_t statetracker_reject(statetracker &t) {
    t.approved = false;
    std::string entry = ";" + t.nominee.substr(0, MAX_REJECTED_ID);
    // The list is bounded: an id that does not fit is not remembered.
    if (t.rejected.size() + entry.size() <= REJECTED_CAPACITY) t.rejected += entry;
    return std::nullopt;
}

std::optional<std::string> find_returning_cmdline_client(statetracker &t) {
    std::string id(var_string(DICT_SHOPPER, "CLIENT"));
    if (id.empty() || !statetracker_nominate(t, id)) return std::nullopt;
    if (!is_cmdline_action()) return std::nullopt;
    if (is_invalid_client_id(id.c_str())) return statetracker_reject(t);
    lock_client(id);
    return statetracker_approve(t);
}

std::optional<std::string> inspect_cookie_client(statetracker &t, std::string_view cookie_value) {
    // An encapsulated cookie is signed as a whole (id, expiry and any baked
    // lines): one whose MAC does not verify is refused like a malformed one.
    std::optional<std::string> verified;
    if (Orvel_client_id_encapsulation_version(cookie_value) > 0) {
        verified = verify_identity(cookie_value);
        if (!verified) {
            ovdebug("reject cookie client %s; %s", std::string(cookie_value.substr(0, 64)).c_str(),
                    "identity not authenticated");
            return std::nullopt;
        }
        cookie_value = *verified;
    }
    std::size_t tilde = cookie_value.find('~');
    std::string_view head = cookie_value.substr(0, tilde);
    std::optional<std::string> baked;
    if (tilde != npos && tilde + 1 < cookie_value.size()) {
        baked = decode_baseXX_string(cookie_value.substr(tilde + 1), 16);
        ovdebug("cookie includes baked userfile");
    } else {
        ovdebug("cookie without baked userfile");
    }
    std::optional<std::string> id;
    if (verified) {
        id = extract_unsigned_client_id(head);
    } else if (config_boolean("ALLOW_RAW_CLIENT")) {
        id = std::string(head);
    } else {
        ovdebug("reject cookie client %s; %s", std::string(head).c_str(), "raw clients forbidden");
        return std::nullopt;
    }
    if (!id || !statetracker_nominate(t, *id)) return std::nullopt;
    if (const char *reason = returning_client_invalid(*id)) {
        ovdebug("reject cookie client %s: %s", id->c_str(), reason);
        return statetracker_reject(t);
    }
    if (!config_boolean("DISABLE_USERFILES")) preread_client(*id);
    else lock_client(*id);
    if (baked) {
        text *lines = lines_of(*baked);
        if (DICT_SELECTED_PR) {
            var *baked_cart = new_var(nullptr);
            read_client_from_text(lines, nullptr, baked_cart);
            reconcile_carts(DICT_SELECTED_PR, baked_cart);
            nuke_var(baked_cart);
        }
        set_integer(DICT_ORVEL, "READ_BAKED_USERFILE", 1);
        read_client_from_text(lines, DICT_SHOPPER, DICT_SELECTED);
        free_text(lines);
    }
    set_string(DICT_SHOPPER, "STORED_COOKIE", *id);
    return statetracker_approve(t);
}

std::optional<std::string> find_returning_cookie_client(statetracker &t) {
    if (config_boolean("DISABLE_COOKIES")) return std::nullopt;
    std::string value = received_cookie();
    if (value.empty()) {
        ovdebug("no cookie was sent");
        return std::nullopt;
    }
    if (value.find(RS) == npos) return inspect_cookie_client(t, value);
    ovdebug("multiple cookies were sent");
    std::size_t start = 0;
    for (;;) {
        std::size_t end = value.find(RS, start);
        std::string_view part = std::string_view(value).substr(start, end == npos ? npos : end - start);
        if (std::optional<std::string> id = inspect_cookie_client(t, part)) return id;
        if (end == npos) return std::nullopt;
        start = end + 1;
    }
}

std::optional<std::string> find_returning_path_info_client(statetracker &t) {
    std::optional<std::string> encapsulated = Orvel_extract_path_info_client();
    if (!encapsulated) return std::nullopt;
    std::optional<std::string> id = Orvel_extract_encapsulated_client_id(*encapsulated);
    if (!id || !statetracker_nominate(t, *id)) return std::nullopt;
    return check_path_or_query(t, "path");
}

std::optional<std::string> find_returning_query_client(statetracker &t) {
    std::string id(var_string(DICT_INPUT, "CLIENT"));
    if (!statetracker_nominate(t, id)) return std::nullopt;
    if (!config_boolean("ALLOW_RAW_CLIENT")) {
        ovdebug("reject query client %s; %s", id.c_str(), "raw clients forbidden");
        return statetracker_reject(t);
    }
    return check_path_or_query(t, "query");
}

std::optional<std::string> find_passed_client() {
    require_identity_key();
    statetracker t;
    std::optional<std::string> id = find_returning_cmdline_client(t);
    if (id) {
        ovdebug("found %s; returning cmdline client", id->c_str());
    } else if ((id = find_returning_cookie_client(t))) {
        set_integer(DICT_ORVEL, "_HTTP_COOKIE_USED", 1);
        ovdebug("found %s; returning cookie client", id->c_str());
    } else if (config_boolean("REQUIRE_COOKIES")) {
        std::string token(var_string(DICT_INPUT, "STORED_COOKIE"));
        // The secure-switch token carries the shopper across in an
        // authenticated identity (the query's CLIENT or the path), and
        // still has to name a real shopper.
        std::optional<std::string> candidate;
        if (token == "secure") {
            candidate = Orvel_extract_encapsulated_client_id(var_string(DICT_INPUT, "CLIENT"));
            if (!candidate)
                if (std::optional<std::string> path = Orvel_extract_path_info_client())
                    candidate = Orvel_extract_encapsulated_client_id(*path);
        }
        if (candidate && !returning_client_invalid(*candidate)) {
            id = candidate;
            preread_client(*candidate);
            ovdebug("found %s; SECURE_COOKIE_SWITCH_TOKEN", id->c_str());
        } else {
            ovdebug("found failed; REQUIRE_COOKIES");
        }
    } else if ((id = find_returning_path_info_client(t))) {
        ovdebug("found %s; returning path client", id->c_str());
    } else if ((id = find_returning_query_client(t))) {
        ovdebug("found %s; returning query client", id->c_str());
    } else {
        ovdebug("found failed; all attempts failed");
    }
    if (id) set_string(DICT_SHOPPER, "CLIENT", *id);
    return id;
}

const char *returning_client_invalid(const std::string &id) {
    if (const char *reason = is_invalid_client_id(id.c_str())) return reason;
    if (config_boolean("ALLOW_UNKNOWN_USERS") || config_boolean("DISABLE_USERFILES") || client_exists(id))
        return nullptr;
    return "no userfile";
}

bool client_forgot_cookie(std::string_view id) {
    std::string stored(DICT_SHOPPER_PR ? var_string(DICT_SHOPPER_PR, "STORED_COOKIE") : std::string_view());
    std::string current = config_boolean("DISABLE_COOKIES") ? std::string() : received_cookie();
    if (!stored.empty()) ovdebug("STORED_COOKIE for %s: %s", std::string(id).c_str(), stored.c_str());
    set_string(DICT_SHOPPER, "STORED_COOKIE", current);
    return !stored.empty() && stored != "secure" && current.empty();
}

bool is_infantile_client(std::string_view) {
    int threshold = config_integer("USER_FILE_INFANCY", 30);
    if (threshold <= 0) return false;
    long creation = DICT_SHOPPER_PR ? var_integer(DICT_SHOPPER_PR, "USERFILE_CREATION_DATE", 0) : 0;
    if (creation <= 0) return false;
    long age = static_cast<long>(std::time(nullptr)) - creation;
    ovdebug("user file age = %d; threshold = %d;", static_cast<int>(age), threshold);
    return age < threshold;
}

bool is_allowed_referer() {
    std::string_view raw = Orvel_getenv("HTTP_REFERER");
    if (raw.empty()) return false;
    std::string domain = Orvel_cookie_domain(raw);
    if (domain.empty()) return false;
    auto matches = [&](std::string_view url) {
        std::string d = Orvel_cookie_domain(url);
        return !d.empty() && strisame(domain, d);
    };
    if (matches(config_string("HTTP_CGI_BIN")) || matches(config_string("HTTPS_CGI_BIN"))) return true;
    for (std::string_view host : split_list(config_string("ALLOWED_REFERERS"), ';'))
        if (matches(host)) return true;
    ovdebug("rejected refraw = %s;", std::string(raw).c_str());
    ovdebug("rejected refdom = %s;", domain.c_str());
    return false;
}

std::string Orvel_cookie_domain(std::string_view url) {
    std::size_t scheme = url.find("://");
    std::string_view host = scheme == npos ? url : url.substr(scheme + 3);
    host = host.substr(0, host.find('/'));
    // A port is not part of a cookie domain.
    if (std::size_t colon = host.rfind(':'); colon != npos && host.find(']') == npos) host = host.substr(0, colon);
    std::size_t last_dot = host.rfind('.');
    if (last_dot == npos || is_numeric(host.substr(last_dot + 1))) return std::string(host);
    std::size_t previous_dot = last_dot == 0 ? npos : host.rfind('.', last_dot - 1);
    std::string_view first = previous_dot == npos ? host.substr(0, last_dot)
                                                  : host.substr(previous_dot + 1, last_dot - previous_dot - 1);
    return "." + std::string(first) + "." + std::string(host.substr(last_dot + 1));
}

std::string Orvel_standard_cookie_name(bool upper_case) {
    static std::string name;
    if (name.empty()) {
        name = std::string(config_string("COOKIE_NAME"));
        if (name.empty()) name = "orvelcookie";
    }
    return upper_case ? upper(name) : name;
}

long get_user_reap_threshold() {
    long age = config_integer("USER_FILE_AGE", 0);
    if (age <= 0) age = 86400;
    else if (age < 1800) age *= 86400;
    return age > 604800 ? 604800 : age;
}

long get_cookie_expire_period() {
    long e = config_defined("COOKIE_EXPIRES") ? config_integer("COOKIE_EXPIRES", -1) : -1;
    long reap = get_user_reap_threshold();
    if (e <= 0) e = reap;
    else if (e < 1800) e *= 86400;
    if (!config_boolean("KEEP_USER_FILES") && e > reap) e = reap;
    return e;
}

std::string bake_multidomain_cookie(std::string_view name, std::string_view value, std::string_view expires) {
    std::string plain = Orvel_cookie_domain(config_string("HTTP_CGI_BIN"));
    // Scripts in pages never read the identity, other sites' forms do not
    // carry it, and a cookie set over HTTPS never travels unencrypted.
    std::string attributes = "; HttpOnly; SameSite=Lax";
    if (is_secure_request() == 1) attributes += "; Secure";
    auto line = [&](const std::string &domain) {
        return "Set-Cookie: " + header_safe(name) + "=" + header_safe(value) + "; domain=" + header_safe(domain) +
               "; path=/; expires=" + std::string(expires) + attributes + "\n";
    };
    std::string out = line(plain);
    if (config_boolean("HTTPS_ENABLED")) {
        std::string secure = Orvel_cookie_domain(config_string("HTTPS_CGI_BIN"));
        if (!strisame(secure, plain)) out += line(secure);
    }
    return out;
}

std::string encapsulate_client_id(std::string_view id, int version, long expiry) {
    if (version == 2)
        return dupsprintf("OvSt%02d", 2) + to_base62_field(std::atol(std::string(id).c_str())) +
               to_base62_field(expiry);
    std::string payload = dupsprintf("%8.8s%c%10.10ld", std::string(id).c_str(), RS, expiry);
    return dupsprintf("OvSt%02d", version) + encode_baseXX_string(payload, 50).value_or("");
}

std::string unsigned_encapsulated_client_id() {
    std::optional<std::string> id = get_client_id();
    if (!id) return {};
    long expiry = static_cast<long>(std::time(nullptr)) + get_user_reap_threshold();
    return encapsulate_client_id(*id, Orvel_default_client_encap_version(), expiry);
}

std::string Orvel_encapsulate_client_id() {
    std::string bare = unsigned_encapsulated_client_id();
    return bare.empty() ? bare : sign_identity(bare);
}

int Orvel_client_id_encapsulation_version(std::string_view text) {
    if (!strbeg(text, "OvSt") || text.size() < 6) return 0;
    std::string digits(text.substr(4, 2));
    return is_numeric(digits) ? std::atoi(digits.c_str()) : 0;
}

std::optional<std::string> Orvel_extract_encapsulated_client_id(std::string_view text) {
    if (Orvel_client_id_encapsulation_version(text) == 0) {
        ovdebug("encapsulated client-id version unknown");
        return std::nullopt;
    }
    std::optional<std::string> verified = verify_identity(text);
    if (!verified) {
        ovdebug("encapsulated client-id not authenticated");
        return std::nullopt;
    }
    return extract_unsigned_client_id(*verified);
}

std::optional<std::string> extract_unsigned_client_id(std::string_view text) {
    int version = Orvel_client_id_encapsulation_version(text);
    if (version == 0) {
        ovdebug("encapsulated client-id version unknown");
        return std::nullopt;
    }
    std::string_view payload = text.substr(6);
    std::string id;
    long expiry = 0;
    if (version == 2 && payload.size() == 12) {
        long number = Orvel_frombaseXX(payload.substr(0, 6), 62);
        long when = Orvel_frombaseXX(payload.substr(6), 62);
        if (number < 0 || when < 0) {
            ovdebug("encapsulated client-id failed to decode");
            return std::nullopt;
        }
        id = dupsprintf("%08ld", number);
        expiry = when;
    } else {
        std::optional<std::string> decoded = decode_baseXX_string(payload, 50);
        if (!decoded) {
            ovdebug("encapsulated client-id failed to decode");
            return std::nullopt;
        }
        std::size_t rs = decoded->find(RS);
        if (rs == npos) {
            ovdebug("encapsulated client-id missing MY_RS");
            return std::nullopt;
        }
        id = decoded->substr(0, rs);
        expiry = std::atol(decoded->c_str() + rs + 1);
    }
    if (expiry - static_cast<long>(std::time(nullptr)) <= 0) {
        ovdebug("encapsulated client-id has expired");
        return std::nullopt;
    }
    return id;
}

int Orvel_default_client_encap_version() { return config_integer("OVST_VERSION", 1); }

std::optional<std::string> Orvel_extract_path_info_client() {
    std::string_view path = Orvel_getenv("PATH_INFO");
    if (!strbeg(path, "/ovpi/u/")) return std::nullopt;
    path.remove_prefix(8);
    return std::string(path.substr(0, path.find('/')));
}

bool Orvel_is_servable_path_info(std::string_view path) {
    return !path.empty() && !strbeg(path, "/ovpi/u/") && path.find('.') != npos;
}
