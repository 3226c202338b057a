// A first query reader: fields of the GET query string or of an
// application/x-www-form-urlencoded POST body, names upper-cased.  The
// special field prefixes and multiple-value rules arrive later.
#include "cgi/query.h"

#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdlib>
#include <unistd.h>

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads exactly the announced body length, or what there is before the
// end of input; never more.
std::string read_post_body() {
    long length = std::atol(Orvel_getenv("CONTENT_LENGTH"));
    std::string body;
    if (length <= 0) return body;
    body.resize(static_cast<std::size_t>(length));
    std::size_t got = 0;
    while (got < body.size()) {
        ssize_t n = ::read(0, body.data() + got, body.size() - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    body.resize(got);
    return body;
}

void file_field(std::string_view pair) {
    if (pair.empty()) return;
    std::size_t eq = pair.find('=');
    std::string name = upper(url_decode(pair.substr(0, eq)));
    std::string value = eq == npos ? std::string() : url_decode(pair.substr(eq + 1));
    // A name with a line break could forge lines in the session file.
    if (name.empty() || name.find_first_of(std::string_view("\r\n\0", 3)) != npos) return;
    var *old = get_var(DICT_INPUT, name);
    if (old && name != "CLIENT" && value_as_string(old->value)[0] != '\0')
        set_string(DICT_INPUT, name, std::string(value_view(old->value)) + '\x1e' + value);
    else
        set_string(DICT_INPUT, name, value);
    if (stribeg(name, "ARG_")) set_string(DICT_ARGS, name.substr(4), value);
    else if (stribeg(name, "ARGH_")) set_string(DICT_ARGS, name.substr(5), value);
    else set_string(DICT_SHOPPER, name, value);
}

}  // namespace

std::string url_decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 && hex_value(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

void fill_query() {
    std::string_view method = Orvel_getenv("REQUEST_METHOD");
    std::string query = strisame(method, "POST") ? read_post_body() : std::string(Orvel_getenv("QUERY_STRING"));
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == npos) end = query.size();
        file_field(std::string_view(query).substr(start, end - start));
        start = end + 1;
    }
}

void scrub_query() {}
void rewrite_multiple_input_values() {}
void parse_batch_product_input() {}
