// The token pass: finding tokens in a text, evaluating token texts with
// their fall-backs and widths, and the ORVEL_PRODUCT= form special.
//
// Speed matters here (every rendered line passes through): the scanner
// looks for '%' with memchr, works on string_views, appends into one
// reserved output string, and evaluates a token into a view of the
// dictionary's own text, so a plain token costs one hashed lookup and one
// append.
#include "ovml/tokens.h"

#include "ovml/tokens_internal.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstring>

using namespace ovml_tokens;

namespace {

constexpr bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_alnum(char c) { return is_digit(c) || is_lower(c) || (c >= 'A' && c <= 'Z'); }
constexpr char to_upper(char c) { return is_lower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }
constexpr bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The letters that pick a token's source.
constexpr bool is_token_letter(char c)
{
    switch (to_upper(c)) {
    case 'A': case 'M': case 'N': case 'E': case 'C': case 'T': case 'U': case 'I':
    case 'Q': case 'G': case 'S': case 'H': case 'V': case 'D': case 'O':
        return true;
    default:
        return false;
    }
}

// Open TokenLineBreakStandIns scopes.
int line_break_stand_ins = 0;

// Appends a token's value; inside a TokenLineBreakStandIns scope its line
// breaks are written as their stand-ins.
void append_token_value(std::string &out, std::string_view value)
{
    if (line_break_stand_ins == 0 || value.find_first_of("\r\n") == npos) {
        out.append(value);
        return;
    }
    for (char c : value) out += c == '\n' ? VALUE_LF_STAND_IN : c == '\r' ? VALUE_CR_STAND_IN : c;
}

// Sums name their fields with '*' ("%OVS_TOTAL_*") and filter with a
// mark and a field name ("%OVS_TOTAL_WEIGHT~TAXABLE"), so a sum token also
// runs over '*', and over '~', '!' or '?' when a name character follows
// (a mark at the end of a word is punctuation of the text around it).
// Conditions with comparison operators need the brace form.
bool is_sum_char(std::string_view text, std::size_t at)
{
    const char c = text[at];
    if (c == '*') return true;
    if (c != '~' && c != '!' && c != '?') return false;
    return at + 1 < text.size() && (is_alnum(text[at + 1]) || text[at + 1] == '_');
}

// Position of the next "%OV" (any case) at or after `from`, or npos.
std::size_t find_ov(std::string_view text, std::size_t from)
{
    const char *base = text.data();
    const std::size_t n = text.size();
    while (from + 3 <= n) {
        const void *hit = std::memchr(base + from, '%', n - from - 2);
        if (!hit) return npos;
        const std::size_t at = static_cast<std::size_t>(static_cast<const char *>(hit) - base);
        if (to_upper(base[at + 1]) == 'O' && to_upper(base[at + 2]) == 'V') return at;
        from = at + 1;
    }
    return npos;
}

// Token evaluation nests through fall-backs ("%OVE_A|%OVE_B|...") and
// complex tokens inside complex tokens; beyond this depth a token is left
// as written, so no text can exhaust the stack.
constexpr int MAX_TOKEN_DEPTH = 32;
int token_depth = 0;

class TokenDepth {
public:
    TokenDepth() { ++token_depth; }
    ~TokenDepth() { --token_depth; }
    TokenDepth(const TokenDepth &) = delete;
    TokenDepth &operator=(const TokenDepth &) = delete;
    bool too_deep() const { return token_depth > MAX_TOKEN_DEPTH; }
};

// Characters that would let a substituted value change what a computed
// token names: a fall-back bar, another token, or braces.
constexpr bool is_token_syntax(char c) { return c == '|' || c == '%' || c == '{' || c == '}'; }

char pad_character()
{
    std::string_view pad = var_string(DICT_TWEAKS, "PADCHAR");
    return pad.empty() ? ' ' : pad.front();
}

// Evaluates one token text.  The result views the token text itself (a
// text left as written, a literal fall-back), a dictionary's value, or
// `buf`.
std::string_view expression_value(std::string_view token, std::string &buf)
{
    if (token.size() <= 5 || !stribeg(token, "%OV")) return token;
    TokenDepth depth;
    if (depth.too_deep()) return token;

    std::string_view body = token.substr(3);
    const std::size_t bar = body.find('|');
    std::string_view name = body.substr(0, bar);
    const bool has_fallback = bar != npos;
    std::string_view fallback = has_fallback ? body.substr(bar + 1) : std::string_view();

    // Width: L_nnA_NAME with two digits and an alignment letter.
    int width = 0;
    char align = 0;
    std::string name_buf;
    if (name.size() >= 6 && is_digit(name[2]) && is_digit(name[3]) && name[5] == '_' &&
        (to_upper(name[4]) == 'R' || to_upper(name[4]) == 'L')) {
        width = (name[2] - '0') * 10 + (name[3] - '0');
        align = name[4];
        name_buf.reserve(name.size() - 3);
        name_buf += name[0];
        name_buf.append(name.substr(5));
    }
    // Names are looked up upper-cased; most are written so already.
    bool needs_upper = false;
    for (char c : name) needs_upper |= is_lower(c);
    if (needs_upper || width) {
        if (!width) name_buf.assign(name);
        for (char &c : name_buf) c = to_upper(c);
        name = name_buf;
    }

    std::string_view value;
    bool found = token_value(name, buf, value) && !value.empty();
    if (!found) found = token_display_name(name, buf, value);
    if (!found) {
        if (!has_fallback) value = {};
        else if (!fallback.empty() && fallback.front() == '%') value = expression_value(fallback, buf);
        else value = fallback.substr(0, fallback.find('|'));
    }

    if (width) {
        // Upper-case alignment letters give an exact width, lower-case
        // ones only pad.
        const int w = (align == 'R' || align == 'L') ? width : -width;
        std::string fixed = (align == 'R' || align == 'r') ? fixwidth_right(value, w, pad_character())
                                                           : fixwidth_left(value, w, pad_character());
        buf = std::move(fixed);
        value = buf;
    }
    return value;
}

// Appends the token pass of `text` to `out`, starting at the first token
// position `at`.  With `for_name` the text is the inside of a computed
// token: values substituted into it lose the token syntax characters, so
// text from a shopper can supply a name but never chain to another token.
void render_tokens_into(std::string_view text, bool complex, std::size_t at, std::string &out,
                        bool for_name = false)
{
    TokenDepth depth;
    if (depth.too_deep()) {
        out.append(text);
        return;
    }
    const std::size_t n = text.size();
    std::size_t pos = 0;
    std::string buf;
    std::string complex_text;
    while (at != npos) {
        out.append(text.substr(pos, at - pos));
        const std::size_t p = at + 3;
        std::size_t end = p;
        std::string_view token;
        bool braced = false;
        bool escape = false;

        if (p < n && text[p] == '{') {
            // A complex token: the inside names the token once its own
            // tokens are rendered.
            std::size_t q = p + 1;
            bool raw;
            if (q < n && text[q] == '\'') {
                raw = true;
                ++q;
            } else if (q < n && text[q] == '"') {
                raw = false;
                ++q;
            } else {
                raw = raw_complex_tokens();
            }
            int depth = 1;
            std::size_t r = q;
            for (; r < n; ++r) {
                if (text[r] == '{') ++depth;
                else if (text[r] == '}' && --depth == 0) break;
            }
            if (r < n) {
                std::string_view inside = text.substr(q, r - q);
                if (!inside.empty() && (inside.back() == '\'' || inside.back() == '"')) inside.remove_suffix(1);
                std::optional<std::string> rendered;
                if (const std::size_t first = find_ov(inside, 0); first != npos) {
                    rendered.emplace();
                    render_tokens_into(inside, true, first, *rendered, true);
                }
                std::string_view name = rendered ? std::string_view(*rendered) : inside;
                complex_text.assign("%OV");
                for (char c : name)
                    if (!is_blank(c)) complex_text += c;
                token = complex_text;
                end = r + 1;
                braced = true;
                escape = !raw;
            }
        }

        if (!braced) {
            // Without a matching '}' the '{' is no token letter, so the
            // text stays as written.
            if (p < n && is_token_letter(text[p])) {
                end = p + 1;
                if (end < n && text[end] == '_') {
                    ++end;
                    if (complex) {
                        while (end < n && !(text[end] == '%' && text[end - 1] != '|')) ++end;
                    } else {
                        const bool sum = to_upper(text[p]) == 'S';
                        while (end < n) {
                            const char c = text[end];
                            if (is_alnum(c) || c == '_' || c == '|' || (c == '%' && text[end - 1] == '|')) ++end;
                            else if (sum && is_sum_char(text, end)) ++end;
                            else break;
                        }
                    }
                }
            }
            token = text.substr(at, end - at);
            if (complex) token = trimr_ws(token);
        }

        std::string_view value = expression_value(token, buf);
        // Simple tokens go in as they are; complex ones are escaped unless
        // asked not to be.
        std::string escaped;
        if (escape) {
            escaped = quote_html_specials(value);
            value = escaped;
        }
        if (for_name) {
            for (char c : value)
                if (!is_token_syntax(c)) out += c;
        } else {
            append_token_value(out, value);
        }

        // A '+' right after a token only joins it to the text that follows.
        if (end < n && text[end] == '+') ++end;
        pos = end;
        at = find_ov(text, pos);
    }
    out.append(text.substr(pos));
}

}  // namespace

TokenLineBreakStandIns::TokenLineBreakStandIns() { ++line_break_stand_ins; }

TokenLineBreakStandIns::~TokenLineBreakStandIns() { --line_break_stand_ins; }

std::string restore_token_line_breaks(std::string text)
{
    for (char &c : text) {
        if (c == VALUE_LF_STAND_IN) c = '\n';
        else if (c == VALUE_CR_STAND_IN) c = '\r';
    }
    return text;
}

std::optional<std::string> render_OVML_Tokens(std::string_view text, bool complex)
{
    const std::size_t at = find_ov(text, 0);
    if (at == npos) return std::nullopt;
    std::string out;
    out.reserve(text.size() + text.size() / 2 + 16);
    render_tokens_into(text, complex, at, out);
    return out;
}

std::string ovmlsub(std::string_view text)
{
    const std::size_t at = find_ov(text, 0);
    if (at == npos) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 2 + 16);
    render_tokens_into(text, false, at, out);
    return out;
}

std::string parse_OVML_Token_Expression(std::string_view token)
{
    std::string buf;
    return std::string(expression_value(token, buf));
}

std::optional<std::string> get_OVML_Token_Value(std::string_view upper_name)
{
    std::string scratch;
    std::string_view out;
    if (!token_value(upper_name, scratch, out)) return std::nullopt;
    return std::string(out);
}

std::optional<std::string> get_OVML_Token_Name(std::string_view upper_name)
{
    std::string scratch;
    std::string_view out;
    if (!token_display_name(upper_name, scratch, out)) return std::nullopt;
    return std::string(out);
}

std::optional<std::string> render_OVML_Specials(std::string_view line)
{
    constexpr std::string_view MARK = "ORVEL_PRODUCT=";
    std::size_t at = my_stristr(line, MARK);
    if (at == npos) return std::nullopt;
    std::string out;
    out.reserve(line.size() + 32);
    std::size_t pos = 0;
    const std::size_t n = line.size();
    while (at != npos) {
        out.append(line.substr(pos, at - pos));
        std::size_t s = at + MARK.size();
        const bool quoted = s < n && line[s] == '"';
        if (quoted) ++s;
        std::size_t e = s;
        while (e < n && !is_space(line[e]) && line[e] != '>' && !(quoted && line[e] == '"')) ++e;
        const std::string skuid = upper(line.substr(s, e - s));
        out += "NAME=\"PRODUCT_";
        out += skuid;
        out += "\" VALUE=\"";
        out += get_OVML_DBREF_Info(skuid.c_str(), "QUANTITY");
        out += '"';
        pos = (quoted && e < n && line[e] == '"') ? e + 1 : e;
        const std::size_t next = my_stristr(line.substr(pos), MARK);
        at = next == npos ? npos : pos + next;
    }
    out.append(line.substr(pos));
    return out;
}

void OVMLify_fields(var *v)
{
    for (; v; v = v->next) {
        if (!v->value || v->value->type != TYPE_STRING) continue;
        std::optional<std::string> rendered = render_OVML_Tokens(value_view(v->value), false);
        if (rendered) value_set(v->value, TYPE_STRING, dup_cstring(*rendered));
    }
}
