// The loose comparison: the search words become terms on one field,
// their values are normalised as search patterns are, and the value is
// scored the way the matcher scores one product line.
#include "search/compare.h"

#include "strings/strutil.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::string_view LOGIC_CHARS = "+?-*";
constexpr std::string_view COMPARISON_CHARS = ":=><%[]^$";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Splits loose text into words: white space separates them; a double
// quote, or a single quote not right after a letter, opens a stretch that
// runs to the next quote of its kind, inside which white space becomes '~'.
// The quotes themselves are dropped.
std::vector<std::string> spec_words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
            else word += is_space(c) ? '~' : c;
            continue;
        }
        if (is_space(c)) {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
            continue;
        }
        in_word = true;
        if (c == '"' || (c == '\'' && !(i > 0 && is_letter(text[i - 1])))) {
            quote = c;
            continue;
        }
        word += c;
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

struct Term {
    char logic = '?';
    char comparison = ':';
    std::string pattern;
    double number = 0.0;
};

// A word as a term, its value normalised: numbers stay as written; the
// word comparisons (% [ ]) upper-case and turn '~' back into blanks; the
// others keep upper-cased letters, digits and '.' only.
Term make_term(std::string_view word) {
    Term t;
    if (!word.empty() && LOGIC_CHARS.find(word.front()) != npos) {
        t.logic = word.front();
        word.remove_prefix(1);
    }
    if (!word.empty() && COMPARISON_CHARS.find(word.front()) != npos) {
        t.comparison = word.front();
        word.remove_prefix(1);
    }
    if (is_numeric(word)) {
        t.pattern = word;
    } else if (t.comparison == '%' || t.comparison == '[' || t.comparison == ']') {
        for (char c : word) t.pattern += c == '~' ? ' ' : to_upper(c);
    } else {
        for (char c : word)
            if (is_letter(c) || is_digit(c) || c == '.') t.pattern += to_upper(c);
    }
    t.number = std::strtod(t.pattern.c_str(), nullptr);
    return t;
}

bool term_matches(const Term &t, const std::string &line, double line_number) {
    switch (t.comparison) {
    case '=': return line == t.pattern;  // the value is a text field
    case '<': return line_number < t.number;
    case '>': return line_number > t.number;
    default: break;
    }
    if (line.empty()) return false;
    switch (t.comparison) {
    case ':': return line.find(t.pattern) != npos;
    case '%': return strword(line, t.pattern) != npos;
    case '[': return strwordbeg(line, t.pattern) != npos;
    case ']': return strwordend(line, t.pattern) != npos;
    case '^': return strbeg(line, t.pattern);
    case '$': return my_strend(line, t.pattern) != npos;
    default: return false;
    }
}

}  // namespace

bool search_comp(std::string_view value, std::string_view loose_spec) {
    std::string line = upper(value);
    const double line_number = std::strtod(line.c_str(), nullptr);
    // Every term is on the same field; its weight is the default 1.
    int score = 0;
    for (const std::string &word : spec_words(loose_spec)) {
        const Term t = make_term(word);
        const bool match = term_matches(t, line, line_number);
        switch (t.logic) {
        case '+':
            if (!match) return false;
            ++score;
            break;
        case '-':
            if (match) return false;
            break;
        default:
            if (match) ++score;
            break;
        }
    }
    return score > 0;
}
