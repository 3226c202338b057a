#include "cgi/query.h"

#include "catalog/selection.h"
#include "config/config.h"
#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <orvel.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr char FIELD_JOINER = '\x1e';
constexpr std::string_view BAD_ESCAPE = "Invalid escape sequence in CGI query.";

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The leading decimal number of a text (blanks, an optional sign, digits),
// 0 when there is none; clamped to the int range.
int decimal_value(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long n = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        n = n * 10 + (text[i] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) n = -n;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

bool blank_quantity_removes() { return my_stristr(config_string("BLANK_QUANTITY"), "remove") != npos; }

// Input limits.  The query is read before the configuration, so reading
// stops only at fixed ceilings; the configured limits (lower by default)
// are applied once the configuration is known (enforce_input_limits).
constexpr long long BODY_CEILING = 16LL << 20;
constexpr long long FIELD_CEILING = 1000000;
constexpr long long DEFAULT_MAX_BODY = 1LL << 20;
constexpr long long DEFAULT_MAX_FIELDS = 10000;

struct InputTally {
    long long body_length = 0;  // the announced body length
    long long fields = 0;       // fields in the query
} tally;

// The values of DICT_INPUT while one query is parsed: repeated fields are
// joined here in place (linear however often a name repeats) and filed
// into DICT_INPUT, in order of first appearance, when parsing ends.
struct InputFields {
    std::vector<std::pair<std::string, std::string>> entries;
    std::unordered_map<std::string, std::size_t> at;
} input_fields;

// Fields that are never taken from a request: an order's identifier and
// the referer that BACK returns to (taken from the query, it would make
// BACK an open redirect).  They do not even reach DICT_INPUT, where they
// would hide the values stored in the session.
bool never_from_query(std::string_view key) { return key == "ORDER_ID" || key == "LAST_STATIC_REFERER"; }

// Decodes the whole text, keeping any decoded NUL (callers decide what a
// NUL means).
std::string decode_all(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            // "%" needs two more characters; fromhex checks that both are hex.
            if (i + 2 >= text.size()) cgidie("%s", BAD_ESCAPE.data());
            out += static_cast<char>(fromhex(text.data() + i + 1));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// The product codes of OPTIONED_ fields with their gathered option text,
// in order of first appearance; alive while one query is parsed.
std::vector<std::pair<std::string, std::string>> optioned_products;

void gather_option(const std::string &code, std::string_view option) {
    std::string piece(1, Option_Code_Delimiter);
    piece += upper(option);
    for (auto &[name, options] : optioned_products) {
        if (name == code) {
            options += piece;
            return;
        }
    }
    optioned_products.emplace_back(code, std::move(piece));
}

void select_optioned_products() {
    for (const auto &[code, options] : optioned_products)
        set_selected_quantity(code + options, var_integer(DICT_SHOPPER, "OPTIONED_QUANTITY_" + code, 1));
    optioned_products.clear();
}

// SUBMIT_ACTION_<action>[_<item>]: a button whose name carries the action
// (and the item) because a button's value is its visible label.
void submit_action(std::string_view rest) {
    std::size_t cut = rest.find('_');
    std::string action = upper(rest.substr(0, cut));
    std::string_view item = cut == npos ? std::string_view() : rest.substr(cut + 1);
    if (std::string_view("SERVE|RETURN|ADD|DETAIL|SEARCH").find(action) != npos) {
        set_string(DICT_SHOPPER, "ACTION", action);
        set_string(DICT_SHOPPER, "ITEM", url_decode(item));
    } else {
        set_string(DICT_SHOPPER, "ACTION", rest);
        set_none(DICT_SHOPPER, "ITEM");
    }
}

void file_input(const std::string &name, const std::string &value) {
    auto [it, fresh] = input_fields.at.try_emplace(name, input_fields.entries.size());
    if (fresh) {
        input_fields.entries.emplace_back(name, value);
        return;
    }
    std::string &stored = input_fields.entries[it->second].second;
    if (name == "CLIENT" || stored.empty()) {
        stored = value;
    } else {
        stored += FIELD_JOINER;
        stored += value;
    }
}

void file_input_fields() {
    for (auto &[name, value] : input_fields.entries) set_string(DICT_INPUT, name, value);
    input_fields = InputFields{};
}

// Files one field: `raw_name` up to its "=", `raw_value` up to the "&".
void file_field(std::string_view raw_name, std::string_view raw_value) {
    if (stribeg(raw_name, "amp;")) raw_name.remove_prefix(4);
    // An image button sends NAME.x and NAME.y: both become NAME.
    if (raw_name.size() >= 3 && raw_name[raw_name.size() - 2] == '.' &&
        std::string_view("XYxy").find(raw_name.back()) != npos)
        raw_name.remove_suffix(2);
    std::string name = decode_all(raw_name);
    std::string value = url_decode(raw_value);
    // A name holding a line break or NUL could forge lines in the session
    // file; an empty name names nothing.
    if (name.empty() || name.find_first_of(std::string_view("\r\n\0", 3)) != npos) return;
    std::string key = upper(name);
    if (never_from_query(key)) return;
    file_input(key, value);
    if (query_hook(name.c_str(), value.c_str()) == 0) set_string(DICT_SHOPPER, key, value);
}

void log_incomplete(std::size_t got, long long expected) {
    overror("POST request incomplete (%d/%d bytes)", static_cast<int>(got), static_cast<int>(expected));
}

// Reads the announced body from standard input: as many reads as it takes
// (a pipe delivers a large body in pieces), never past `length` bytes.
// nullopt when the input ends first.
std::optional<std::string> read_post_body(int length) {
    std::string body;
    body.reserve(static_cast<std::size_t>(std::min(length, 1 << 20)));
    std::vector<char> chunk(65536);
    const auto wanted = static_cast<std::size_t>(length);
    while (body.size() < wanted) {
        std::size_t ask = std::min(chunk.size(), wanted - body.size());
        ssize_t n = ::read(0, chunk.data(), ask);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            log_incomplete(body.size(), length);
            return std::nullopt;
        }
        body.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return body;
}

std::optional<std::string> query_string_env() {
    const char *qs = std::getenv("QUERY_STRING");
    if (!qs) return std::nullopt;
    return std::string(qs);
}

}  // namespace

std::optional<std::string> get_query_string() {
    const char *method = std::getenv("REQUEST_METHOD");
    if (!method) return std::nullopt;
    const char *length_text = std::getenv("CONTENT_LENGTH");
    if (!length_text) {
        if (strisame(method, "POST")) overror("POST content-length missing");
        return query_string_env();
    }
    int length = decimal_value(length_text);
    if (length < 0) {
        overror("POST content-length invalid (%d)", length);
        return query_string_env();
    }
    if (length == 0) return query_string_env();
    tally.body_length = length;
    if (length > BODY_CEILING) return query_string_env();  // refused once the configuration is read
    std::optional<std::string> body = read_post_body(length);
    if (!body) return query_string_env();
    std::optional<std::string> qs = query_string_env();
    if (qs && !qs->empty()) return *qs + "&" + *body;
    return body;
}

void fill_query() {
    std::optional<std::string> query = get_query_string();
    if (query && !query->empty()) {
        std::string_view rest(*query);
        for (;;) {
            std::size_t eq = rest.find('=');
            if (eq == npos) {
                std::string shown = quote_html_specials(rest);
                cgidie("Orvel received a malformed query request (<B><TT>\"%s\"</TT></B>) from your "
                       "browser.  Please try again.",
                       shown.c_str());
            }
            std::size_t amp = rest.find('&', eq + 1);
            std::size_t end = amp == npos ? rest.size() : amp;
            if (++tally.fields > FIELD_CEILING) break;  // refused once the configuration is read
            file_field(rest.substr(0, eq), rest.substr(eq + 1, end - eq - 1));
            if (amp == npos) break;
            rest.remove_prefix(amp + 1);
            if (rest.empty()) break;
        }
    }
    file_input_fields();
    query_hook(nullptr, nullptr);
}

void enforce_input_limits() {
    long long max_body = config_defined("MAX_REQUEST_BODY") ? config_integer("MAX_REQUEST_BODY", 0) : 0;
    if (max_body <= 0) max_body = DEFAULT_MAX_BODY;
    if (max_body > BODY_CEILING) max_body = BODY_CEILING;
    if (tally.body_length > max_body)
        cgidie("Your request is too large (%lld bytes).  This store accepts at most %lld bytes in one request.",
               tally.body_length, max_body);
    long long max_fields = config_defined("MAX_QUERY_FIELDS") ? config_integer("MAX_QUERY_FIELDS", 0) : 0;
    if (max_fields <= 0) max_fields = DEFAULT_MAX_FIELDS;
    if (max_fields > FIELD_CEILING) max_fields = FIELD_CEILING;
    if (tally.fields > max_fields)
        cgidie("Your request has too many fields.  This store accepts at most %lld fields in one request.",
               max_fields);
}

void apply_blank_quantities() {
    if (!DICT_INPUT || !blank_quantity_removes()) return;
    // The last value sent for a PRODUCT_ field decides: an empty one
    // removes the product.
    std::vector<std::string> codes;
    for (var *v = DICT_INPUT->next; v; v = v->next) {
        std::string_view name(v->name ? v->name : "");
        if (!strbeg(name, "PRODUCT_") || name.size() == 8) continue;
        std::string_view text = value_view(v->value);
        std::size_t last = text.rfind(FIELD_JOINER);
        if ((last == npos ? text : text.substr(last + 1)).empty()) codes.emplace_back(name.substr(8));
    }
    for (const std::string &code : codes) set_selected_quantity(code, 0);
}

int query_hook(const char *name_text, const char *value_text) {
    if (!name_text) {
        select_optioned_products();
        return 1;
    }
    std::string_view name(name_text);
    std::string_view value(value_text ? value_text : "");

    if (stribeg(name, "OPTIONED_")) {
        std::string code = upper(name.substr(9));
        if (strbeg(code, "QUANTITY_")) return 0;
        if (!value.empty() && !code.empty()) gather_option(code, value);
        return 1;
    }
    if (stribeg(name, "SUBMIT_ACTION_")) {
        submit_action(name.substr(14));
        return 1;
    }
    if (strisame(name, "PRODUCT")) {
        if (!value.empty()) set_selected_quantity(upper(value), 1);
        return 1;
    }
    if (stribeg(name, "ACTION") && var_defined(DICT_SHOPPER, "ACTION")) return 1;
    if (stribeg(name, "BATCH_PRODUCT_") || stribeg(name, "BATCH_QUANTITY_")) return 1;
    if (stribeg(name, "PRODUCT_")) {
        std::string code = upper(name.substr(8));
        if (!value.empty()) set_selected_quantity(code, decimal_value(value));
        else if (blank_quantity_removes()) set_selected_quantity(code, 0);
        return 1;
    }
    if (stribeg(name, "ARGH_") || stribeg(name, "ARG_")) {
        set_string(DICT_ARGS, upper(name.substr(name[3] == '_' ? 4 : 5)), value);
        return 1;
    }
    if (stribeg(name, "CHECKED_")) {
        int quantity = decimal_value(value);
        set_selected_quantity(upper(name.substr(8)), quantity > 0 ? quantity : 1);
        return 1;
    }
    if (strisame(name, "ORDER_ID")) return 1;
    return 0;
}

unsigned char fromhex(const char *pair) {
    int high = hex_digit(pair[0]);
    int low = high < 0 ? -1 : hex_digit(pair[1]);
    if (high < 0 || low < 0) cgidie("%s", BAD_ESCAPE.data());
    return static_cast<unsigned char>(high * 16 + low);
}

std::string url_decode(std::string_view text) {
    std::string out = decode_all(text);
    std::size_t nul = out.find('\0');
    if (nul != npos) out.resize(nul);
    return out;
}

extern "C" char *Orvel_url_encode(const char *text) {
    if (!text) return nullptr;
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char *p = text; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == ' ') {
            out += '+';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                   c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        }
    }
    return dup_cstring(out);
}

int parse_passed_product_quantity(std::string_view code, std::string_view text) {
    if (text.empty()) return blank_quantity_removes() ? 0 : -1;
    if (text[0] == '+') return get_selected_quantity(code) + 1;
    if (text[0] == '-') return std::max(0, get_selected_quantity(code) - 1);
    return decimal_value(text);
}

void parse_batch_product_input() {
    if (!DICT_INPUT) return;
    // Collect first: selecting products does not touch DICT_INPUT, but the
    // rows are read in their own order regardless.
    std::vector<std::pair<std::string, std::string>> rows;
    for (var *v = DICT_INPUT->next; v; v = v->next) {
        std::string_view name(v->name ? v->name : "");
        if (!strbeg(name, "BATCH_PRODUCT_") || name.size() == 14) continue;
        std::string_view code = value_view(v->value);
        if (code.empty()) continue;
        rows.emplace_back(std::string(name.substr(14)), upper(code));
    }
    for (const auto &[suffix, code] : rows) {
        std::string_view quantity = var_string(DICT_INPUT, "BATCH_QUANTITY_" + suffix);
        if (quantity.empty()) {
            set_selected_quantity(code, 1);
            continue;
        }
        int q = parse_passed_product_quantity(code, quantity);
        if (q >= 0) set_selected_quantity(code, q);
    }
}

void rewrite_multiple_input_values() {
    if (!DICT_INPUT || !DICT_MIVS) return;
    for (var *v = DICT_INPUT->next; v; v = v->next) {
        if (!v->name) continue;
        std::string_view text = value_view(v->value);
        if (text.find(FIELD_JOINER) == npos) continue;
        std::string_view joiner = var_string(DICT_MIVS, v->name);
        if (joiner.empty()) continue;
        std::string joined(text);
        chrsub(joined, FIELD_JOINER, joiner[0]);
        set_string(DICT_SHOPPER, v->name, joined);
    }
}

void scrub_query() {
    std::string_view forbidden = config_string("FORBIDDEN_QUERY_FIELDS");
    if (forbidden.empty()) return;
    std::string list(forbidden);
    std::unique_ptr<text, decltype(&free_text)> words(to_words(list.c_str(), ';'), &free_text);
    for (textstring *w = words ? words->first : nullptr; w; w = w->next) {
        if (!w->string) continue;
        std::string name = upper(w->string);
        unset_var(DICT_SHOPPER, name);
        unset_var(DICT_INPUT, name);
    }
}
