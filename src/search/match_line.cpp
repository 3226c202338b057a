// Scoring one field line of a product against a specification, and the
// product-level tests that follow: groups that found nothing and required
// fields the product lacks.
#include "search/search_spec.h"

#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstring>

namespace {

bool is_word_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Whether `pattern` occurs in `text` with no word character right before
// it (when `before`) and right after it (when `after`).  An empty pattern
// occurs at every position, so "[" and "]" accept any text with it.
bool occurs_bounded(std::string_view text, std::string_view pattern, bool before, bool after) {
    for (std::size_t pos = text.find(pattern); pos != npos; pos = text.find(pattern, pos + 1)) {
        const std::size_t end = pos + pattern.size();
        const bool ok_before = !before || pos == 0 || !is_word_char(text[pos - 1]);
        const bool ok_after = !after || end >= text.size() || !is_word_char(text[end]);
        if (ok_before && ok_after) return true;
        if (pos >= text.size()) break;
    }
    return false;
}

bool word_matches(const SearchWord &word, const SearchLine &line) {
    const std::string_view pattern(word.pattern);
    switch (word.comparison) {
    case '=':
        if (line.type == SEARCH_TYPE_NUMERIC) return line.number == word.number;
        return line.text == pattern;
    case '<': return line.number < word.number;
    case '>': return line.number > word.number;
    default: break;
    }
    if (line.type == SEARCH_TYPE_NONE) return false;
    const std::string_view text(line.text);
    switch (word.comparison) {
    case ':': return text.find(pattern) != npos;
    case '%': return occurs_bounded(text, pattern, true, true);
    case '[': return occurs_bounded(text, pattern, true, false);
    case ']': return occurs_bounded(text, pattern, false, true);
    case '^': return strbeg(text, pattern);
    case '$': return my_strend(text, pattern) != npos;
    default: return false;
    }
}

}  // namespace

int match_line(const SearchLine &line, SearchSpec *spec) {
    if (!spec) return 0;
    int score = 0;
    const char *field = line.field.c_str();
    for (SearchWord *word = spec->first; word; word = word->next) {
        if (word->field[0] != field[0] || std::strcmp(word->field, field) != 0) continue;
        const bool match = word_matches(*word, line);
        switch (word->logic) {
        case '+':
            if (!match) return -1;
            word->found = 1;
            score += word->weight;
            break;
        case '*':
            if (match) {
                word->found = 1;
                score += word->weight;
            }
            break;
        case '-':
            if (match) return -1;
            break;
        default:
            if (match) score += word->weight;
            break;
        }
    }
    return score;
}

bool parand_failed(SearchSpec *spec) {
    if (!spec || !spec->first || !spec->groups || !spec->groups->next) return false;
    for (SearchWord *word = spec->first; word; word = word->next) {
        if (word->logic != '*' || !word->found) continue;
        set_integer(spec->groups, word->pattern, 1);
    }
    for (var *group = spec->groups->next; group; group = group->next)
        if (value_as_integer(group->value, 0) == 0) return true;
    return false;
}

bool maybe_exclude_match(std::string_view field_table, SearchSpec *spec) {
    if (parand_failed(spec)) return true;
    for (SearchWord *word = spec ? spec->first : nullptr; word; word = word->next)
        if (word->logic == '+' && striword(field_table, word->field) == npos) return true;
    return false;
}

void clear_found_switches(SearchSpec *spec) {
    if (!spec) return;
    for (SearchWord *word = spec->first; word; word = word->next) word->found = 0;
    if (!spec->groups) return;
    for (var *group = spec->groups->next; group; group = group->next) var_value_set(group, TYPE_INTEGER, 0);
}
