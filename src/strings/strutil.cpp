// String vocabulary: comparison, search, case, trimming, substitution,
// fixed-width fields, wrapping and field tokenising.  Character classes are
// those of the C locale, computed directly so that a locale switched on by
// some other code cannot change what counts as a word or a blank.
#include "strings/strutil.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_alnum(char c) { return is_upper(c) || is_lower(c) || is_digit(c); }
constexpr bool is_word(char c) { return is_alnum(c) || c == '_'; }
constexpr bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool is_nl(char c) { return c == '\r' || c == '\n'; }
constexpr char to_upper(char c) { return is_lower(c) ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char to_lower(char c) { return is_upper(c) ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `part` matches `text` at `pos` ignoring case; the caller has
// checked that it fits.
bool iequal_at(std::string_view text, std::size_t pos, std::string_view part)
{
    for (std::size_t i = 0; i < part.size(); ++i)
        if (to_lower(text[pos + i]) != to_lower(part[i]))
            return false;
    return true;
}

// Case-insensitive find from `from`, without building folded copies.
std::size_t ifind(std::string_view text, std::string_view part, std::size_t from = 0)
{
    if (from > text.size())
        return npos;
    if (part.empty())
        return from;
    if (part.size() > text.size() - from)
        return npos;
    const char lo = to_lower(part[0]);
    const char up = to_upper(part[0]);
    const std::size_t last_start = text.size() - part.size();
    for (std::size_t i = from; i <= last_start; ++i) {
        char c = text[i];
        if ((c == lo || c == up) && iequal_at(text, i + 1, part.substr(1)))
            return i;
    }
    return npos;
}

template <bool IgnoreCase>
std::size_t find_in(std::string_view text, std::string_view part, std::size_t from)
{
    if constexpr (IgnoreCase)
        return ifind(text, part, from);
    else
        return text.find(part, from);
}

// First occurrence of `word` satisfying the requested word boundaries.
template <bool IgnoreCase>
std::size_t find_word(std::string_view text, std::string_view word, bool before, bool after)
{
    if (word.empty())
        return npos;
    for (std::size_t pos = find_in<IgnoreCase>(text, word, 0); pos != npos;
         pos = find_in<IgnoreCase>(text, word, pos + 1)) {
        std::size_t end = pos + word.size();
        bool ok_before = !before || pos == 0 || !is_word(text[pos - 1]);
        bool ok_after = !after || end >= text.size() || !is_word(text[end]);
        if (ok_before && ok_after)
            return pos;
    }
    return npos;
}

using CharSet = std::array<bool, 256>;

CharSet make_set(std::string_view chars)
{
    CharSet set{};
    for (char c : chars)
        set[static_cast<unsigned char>(c)] = true;
    return set;
}

template <bool IgnoreCase>
std::string substitute(std::string_view text, std::string_view pattern,
                       std::string_view replacement)
{
    if (pattern.empty())
        return std::string(text);
    std::string out;
    std::size_t pos = find_in<IgnoreCase>(text, pattern, 0);
    if (pos == npos)
        return std::string(text);
    out.reserve(text.size() + (replacement.size() > pattern.size() ? 32 : 0));
    std::size_t done = 0;
    while (pos != npos) {
        out.append(text, done, pos - done);
        out.append(replacement);
        done = pos + pattern.size();
        pos = find_in<IgnoreCase>(text, pattern, done);
    }
    out.append(text, done);
    return out;
}

} // namespace

// ---- comparison and search ------------------------------------------------

bool strsame(std::string_view a, std::string_view b) { return a == b; }

bool strisame(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && iequal_at(a, 0, b);
}

bool strbeg(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool stribeg(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && iequal_at(text, 0, prefix);
}

std::size_t my_strend(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return npos;
    std::size_t pos = text.size() - suffix.size();
    return text.substr(pos) == suffix ? pos : npos;
}

std::size_t striend(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return npos;
    std::size_t pos = text.size() - suffix.size();
    return iequal_at(text, pos, suffix) ? pos : npos;
}

std::size_t my_stristr(std::string_view text, std::string_view part) { return ifind(text, part); }

std::size_t strword(std::string_view text, std::string_view word)
{
    return find_word<false>(text, word, true, true);
}
std::size_t striword(std::string_view text, std::string_view word)
{
    return find_word<true>(text, word, true, true);
}
std::size_t strwordbeg(std::string_view text, std::string_view word)
{
    return find_word<false>(text, word, true, false);
}
std::size_t striwordbeg(std::string_view text, std::string_view word)
{
    return find_word<true>(text, word, true, false);
}
std::size_t strwordend(std::string_view text, std::string_view word)
{
    return find_word<false>(text, word, false, true);
}
std::size_t striwordend(std::string_view text, std::string_view word)
{
    return find_word<true>(text, word, false, true);
}

int strcindex(std::string_view text, char ch)
{
    std::size_t pos = text.find(ch);
    return pos == npos ? 0 : static_cast<int>(pos) + 1;
}

long strlidx(std::string_view text, char ch, long from)
{
    std::size_t start = (from < 0 || static_cast<std::size_t>(from) >= text.size())
                            ? npos
                            : static_cast<std::size_t>(from);
    std::size_t pos = text.rfind(ch, start);
    return pos == npos ? -1 : static_cast<long>(pos);
}

std::size_t strnth(std::string_view text, int n, char ch)
{
    if (n <= 0)
        return 0;
    std::size_t pos = 0;
    for (int i = 0; i < n; ++i) {
        std::size_t found = text.find(ch, pos);
        if (found == npos)
            return npos;
        pos = found + 1;
    }
    return pos;
}

int chrcount(std::string_view text, char ch)
{
    return static_cast<int>(std::count(text.begin(), text.end(), ch));
}

int strsum(std::string_view text)
{
    int sum = 0;
    for (char c : text)
        sum += static_cast<signed char>(c);
    return sum;
}

uint32_t my_strhash(std::string_view text)
{
    uint32_t hash = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        hash ^= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (i % 32);
    return hash;
}

std::size_t strsuff(std::string_view path)
{
    std::size_t dot = path.rfind('.');
    return dot == npos ? npos : dot + 1;
}

bool strwhite(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), is_space);
}

bool is_blankline(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), is_nl);
}

bool is_numeric(std::string_view text)
{
    if (!text.empty() && (text[0] == '+' || text[0] == '-'))
        text.remove_prefix(1);
    if (text.empty())
        return false;
    bool dot = false;
    for (char c : text) {
        if (c == '.') {
            if (dot)
                return false;
            dot = true;
        } else if (!is_digit(c)) {
            return false;
        }
    }
    return true;
}

bool is_true(std::string_view text)
{
    if (is_numeric(text)) {
        std::string copy(text); // short texts stay in the small-string buffer
        return std::strtod(copy.c_str(), nullptr) != 0.0;
    }
    return !text.empty();
}

// ---- changing text ----------------------------------------------------------

std::string strdupuntil(std::string_view text, std::size_t end)
{
    if (end == npos)
        return {};
    return std::string(text.substr(0, end));
}

std::string &UPPERCASE(std::string &text)
{
    for (char &c : text)
        c = to_upper(c);
    return text;
}

std::string &lowercase(std::string &text)
{
    for (char &c : text)
        c = to_lower(c);
    return text;
}

std::string upper(std::string_view text)
{
    std::string out(text);
    return UPPERCASE(out);
}

std::string lower(std::string_view text)
{
    std::string out(text);
    return lowercase(out);
}

std::string &Orvel_Capitalize_words(std::string &text)
{
    bool start = true;
    for (char &c : text) {
        if (is_space(c)) {
            start = true;
        } else if (is_alnum(c) && start) {
            c = to_upper(c);
            start = false;
        } else if (is_alnum(c)) {
            start = false;
        }
    }
    return text;
}

std::string &Orvel_Capitalize_sentences(std::string &text)
{
    bool start = true;
    for (char &c : text) {
        if (c == '.' || c == '!' || c == '?') {
            start = true;
        } else if (is_alnum(c) && start) {
            c = to_upper(c);
            start = false;
        }
    }
    return text;
}

std::string &chrsub(std::string &text, char from, char to)
{
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

std::string &chrisub(std::string &text, char from, char to)
{
    const char folded = to_lower(from);
    for (char &c : text)
        if (to_lower(c) == folded)
            c = to;
    return text;
}

std::string chrsqz(std::string_view text, char ch, char to)
{
    std::string out;
    out.reserve(text.size());
    bool in_run = false;
    for (char c : text) {
        if (c == ch) {
            if (!in_run)
                out += to;
            in_run = true;
        } else {
            out += c;
            in_run = false;
        }
    }
    return out;
}

std::string strstrip(std::string_view text, std::string_view set)
{
    const CharSet drop = make_set(set);
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!drop[static_cast<unsigned char>(c)])
            out += c;
    return out;
}

std::string strstripc(std::string_view text, std::string_view set)
{
    const CharSet keep = make_set(set);
    std::string out;
    for (char c : text)
        if (keep[static_cast<unsigned char>(c)])
            out += c;
    return out;
}

std::string strsub(std::string_view text, std::string_view pattern, std::string_view replacement)
{
    return substitute<false>(text, pattern, replacement);
}

std::string strisub(std::string_view text, std::string_view pattern, std::string_view replacement)
{
    return substitute<true>(text, pattern, replacement);
}

std::string &squeeze_nl(std::string &text)
{
    for (char &c : text)
        if (is_nl(c))
            c = ' ';
    return text;
}

std::string &escape_nl(std::string &text)
{
    for (char &c : text) {
        if (c == '\r')
            c = '\a';
        else if (c == '\n')
            c = '\t';
    }
    return text;
}

std::string &unescape_nl(std::string &text)
{
    for (char &c : text) {
        if (c == '\a')
            c = '\r';
        else if (c == '\t')
            c = '\n';
    }
    return text;
}

std::string_view triml(std::string_view text, char ch)
{
    std::size_t pos = text.find_first_not_of(ch);
    return pos == npos ? text.substr(text.size()) : text.substr(pos);
}

std::string_view trimr(std::string_view text, char ch)
{
    std::size_t pos = text.find_last_not_of(ch);
    return text.substr(0, pos == npos ? 0 : pos + 1);
}

std::string_view trim(std::string_view text, char ch) { return trimr(triml(text, ch), ch); }

std::string_view triml_ws(std::string_view text)
{
    while (!text.empty() && is_space(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view trimr_ws(std::string_view text)
{
    while (!text.empty() && is_space(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view trim_ws(std::string_view text) { return trimr_ws(triml_ws(text)); }

std::string_view triml_nl(std::string_view text)
{
    while (!text.empty() && is_nl(text.front()))
        text.remove_prefix(1);
    return text;
}

std::string_view trimr_nl(std::string_view text)
{
    while (!text.empty() && is_nl(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view chop_nl(std::string_view text) { return trimr_nl(text); }

std::string quote_html_specials(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '\t':
        case '\r':
        case '\n': out += ' '; break;
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
    return out;
}

namespace {
std::size_t magnitude(int width)
{
    return width < 0 ? static_cast<std::size_t>(-static_cast<long long>(width))
                     : static_cast<std::size_t>(width);
}
} // namespace

std::string fixwidth_left(std::string_view text, int width, char pad)
{
    const std::size_t w = magnitude(width);
    if (text.size() < w) {
        std::string out;
        out.reserve(w);
        out.append(text);
        out.append(w - text.size(), pad);
        return out;
    }
    if (width > 0)
        return std::string(text.substr(0, w));
    return std::string(text);
}

std::string fixwidth_right(std::string_view text, int width, char pad)
{
    const std::size_t w = magnitude(width);
    if (text.size() < w) {
        std::string out;
        out.reserve(w);
        out.append(w - text.size(), pad);
        out.append(text);
        return out;
    }
    if (width > 0)
        return std::string(text.substr(text.size() - w));
    return std::string(text);
}

std::string strwrap(std::string_view text, int width, int min_break, bool pad, char pad_char,
                    std::string_view prefix, std::string_view suffix)
{
    if (width <= 9)
        width = 80;
    const std::size_t w = static_cast<std::size_t>(width);
    if (text.size() < w && !pad && prefix.empty() && suffix.empty())
        return std::string(text);

    const std::size_t last = w - 1;
    const long threshold = min_break >= 0 ? min_break : static_cast<long>(last - last / 4);
    std::string out;
    out.reserve(text.size() + (text.size() / last + 1) * (prefix.size() + suffix.size() + 1 +
                                                          (pad ? last / 4 : 0)));
    auto emit = [&](std::string_view piece, bool padded) {
        out += prefix;
        out += piece;
        if (padded && piece.size() < last)
            out.append(last - piece.size(), pad_char);
        out += suffix;
    };

    std::string_view rest = text;
    while (rest.size() > last) {
        std::size_t space = rest.rfind(' ', last);
        bool at_space = space != npos && static_cast<long>(space) > threshold;
        std::size_t cut = at_space ? space : last;
        emit(rest.substr(0, cut), pad && at_space);
        out += '\n';
        rest.remove_prefix(cut);
        rest = triml_ws(rest);
    }
    emit(rest, pad);
    return out;
}

// ---- fields -------------------------------------------------------------------

int prodntok(std::string_view text, char delimiter, std::string &out, std::size_t max)
{
    if (!text.empty() && text.front() == '"')
        text.remove_prefix(1);
    std::size_t n = 0;
    while (n < text.size() && n < max) {
        char c = text[n];
        if (c == delimiter || c == '\r' || c == '\n')
            break;
        ++n;
    }
    out.assign(text.substr(0, n));
    if (!out.empty() && out.back() == '"')
        out.pop_back();
    return static_cast<int>(n);
}

int strquot(std::string_view text, QuotePositions &result, std::string_view openers,
            std::string_view closers)
{
    result = QuotePositions{};
    auto escaped = [&](std::size_t i) { return i > 0 && text[i - 1] == '\\'; };

    std::size_t open = text.find_first_of(openers);
    while (open != npos && escaped(open))
        open = text.find_first_of(openers, open + 1);
    if (open == npos)
        return 1;
    result.open = open;

    const std::size_t which = openers.find(text[open]);
    if (which >= closers.size())
        return -1;
    const char opener = openers[which];
    const char closer = closers[which];
    int depth = 0;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        char c = text[i];
        if (escaped(i))
            continue;
        if (c == closer) {
            if (depth == 0) {
                result.close = i;
                return 0;
            }
            --depth;
        } else if (c == opener && opener != closer) {
            ++depth;
        }
    }
    return -1;
}

std::vector<std::string_view> split_list(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    for (std::size_t start = 0;;) {
        std::size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return pieces;
        start = end + 1;
    }
}
