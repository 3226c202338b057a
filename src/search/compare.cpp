// The loose comparison: the words of a short expression become terms on
// one field "x", parsed by the specification parser, and the value is
// scored as the one line of that field.
#include "search/compare.h"

#include "strings/strutil.h"

#include <cstdlib>

std::string loose_spec_text(std::string_view loose_spec) {
    std::string text;
    for (const std::string &w : get_spec_words(loose_spec)) {
        std::string_view word = w;
        char logic = '?', comparison = ':';
        if (!word.empty() && SEARCH_LOGIC_CHARS.find(word.front()) != npos) {
            logic = word.front();
            word.remove_prefix(1);
        }
        if (!word.empty() && SEARCH_COMPARISON_CHARS.find(word.front()) != npos) {
            comparison = word.front();
            word.remove_prefix(1);
        }
        if (!text.empty()) text += ' ';
        text += logic;
        text += 'x';
        text += comparison;
        text += word;
    }
    return text;
}

SearchLine loose_spec_line(std::string_view value) {
    SearchLine line;
    line.field.assign(1, 'x');
    line.text = upper(value);
    line.number = std::strtod(line.text.c_str(), nullptr);
    line.type = SEARCH_TYPE_TEXT;
    return line;
}

bool search_comp(std::string_view value, std::string_view loose_spec) {
    SearchSpecPtr spec = create_search_spec(loose_spec_text(loose_spec), false);
    if (!spec) return false;
    return match_line(loose_spec_line(value), spec.get()) > 0;
}
