// A first token pass: dictionary tokens (%OVA_ %OVE_ %OVH_ %OVM_ %OVU_
// %OVV_ %OVO_ %OVT_) with "|" fall-backs.
#include "ovml/tokens.h"

#include "strings/strutil.h"
#include "vars/vars.h"

#include <cctype>

namespace {

var *dictionary_for(char letter) {
    switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'A': return DICT_ARGS;
    case 'E':
    case 'C': return DICT_SHOPPER;
    case 'H': return DICT_ORVEL;
    case 'M':
    case 'N': return DICT_CONFIG;
    case 'O': return DICT_CURRENT_ORDER;
    case 'T': return DICT_TOTALS;
    case 'U': return DICT_URL;
    case 'V': return DICT_VARIABLES;
    default: return nullptr;
    }
}

bool token_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Value of one "X_NAME" token, or "" when unknown or empty.
std::string token_value(std::string_view token) {
    if (token.size() < 3 || token[1] != '_') return {};
    var *dict = dictionary_for(token[0]);
    if (!dict) return {};
    return std::string(var_string(dict, upper(token.substr(2))));
}

}  // namespace

std::string ovmlsub(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t at = my_stristr(text.substr(pos), "%OV");
        if (at == npos) break;
        at += pos;
        result.append(text.substr(pos, at - pos));
        std::size_t p = at + 3;
        if (p + 1 >= text.size() || !dictionary_for(text[p]) || text[p + 1] != '_') {
            result.append("%OV");
            pos = at + 3;
            continue;
        }
        // Token with fall-backs: X_NAME|%OVY_OTHER|literal
        std::string value;
        bool found = false;
        std::size_t end = p;
        for (;;) {
            std::size_t start = end;
            bool is_token = false;
            if (text.substr(start, 3) == "%OV" || (start == p)) {
                if (start != p) start += 3;
                is_token = true;
            }
            end = start;
            while (end < text.size() && token_char(text[end])) ++end;
            if (!found) {
                std::string candidate = is_token ? token_value(text.substr(start, end - start))
                                                 : std::string(text.substr(start, end - start));
                if (!candidate.empty()) {
                    value = candidate;
                    found = true;
                }
            }
            if (end < text.size() && text[end] == '|') {
                ++end;
                continue;
            }
            break;
        }
        result.append(value);
        pos = end;
        if (pos < text.size() && text[pos] == '+') ++pos;
    }
    result.append(text.substr(pos));
    return result;
}

