// Search specifications: the text built from the shopper's search fields,
// its parsing into SearchSpec records with normalised patterns, the
// queries that carry a specification to the scanner, the canonical texts
// shown on result pages and the merchant's term substitutions.
#include "search/search_spec.h"

#include "config/config.h"
#include "config/paths.h"
#include "ovml/elements_std.h"
#include "ovml/tokens.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool is_logic(char c) { return SEARCH_LOGIC_CHARS.find(c) != npos; }
bool is_comparison(char c) { return SEARCH_COMPARISON_CHARS.find(c) != npos; }

// A field name that can stand in a specification: the characters a
// products file keeps in its field names.
bool is_field_name(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!is_letter(c) && !is_digit(c) && c != '_' && c != '-') return false;
    return true;
}

// The default fields as a list, passing over names that cannot be fields.
std::vector<std::string> field_list(std::string_view fields) {
    std::vector<std::string> out;
    for (std::string_view f : split_list(fields, ';')) {
        f = trim_ws(f);
        if (is_field_name(f)) out.emplace_back(f);
    }
    return out;
}

// Adds one term to the specification text unless it would make the text
// longer than SEARCH_SPEC_TEXT_MAX.
class SpecText {
public:
    void add(char logic, std::string_view field, char comparison, std::string_view value) {
        const std::size_t size = (text_.empty() ? 0 : 1) + 2 + field.size() + value.size();
        if (full_ || text_.size() + size > SEARCH_SPEC_TEXT_MAX) {
            full_ = true;
            return;
        }
        if (!text_.empty()) text_ += ' ';
        text_ += logic;
        text_ += field;
        text_ += comparison;
        text_ += value;
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
    bool full_ = false;
};

// Group mode spreads a required loose word over the default fields: it
// must occur in at least one of them.
bool group_mode() {
    var *field = get_var(DICT_SHOPPER, "SEARCH_PARAND");
    if (field && field != DICT_SHOPPER) {
        const int n = value_as_integer(field->value, -1);
        if (n >= 1) return true;
        if (n == 0) return false;
    }
    return config_integer("DEFAULT_SEARCH_PARAND", 0) > 0;
}

// The normalised pattern of a term and its type.
void normalise_pattern(SearchWord *word, std::string_view value) {
    std::string pattern;
    int type = SEARCH_TYPE_TEXT;
    if (std::strcmp(word->field, "SKUID") == 0) {
        pattern = upper(value);
    } else if (is_numeric(value)) {
        pattern = value;
        type = SEARCH_TYPE_NUMERIC;
    } else if (word->comparison == '%' || word->comparison == '[' || word->comparison == ']') {
        pattern.reserve(value.size());
        for (char c : value) pattern += c == '~' ? ' ' : to_upper(c);
    } else {
        for (char c : value)
            if (is_letter(c) || is_digit(c) || c == '.') pattern += to_upper(c);
    }
    std::free(word->pattern);
    word->pattern = dup_cstring(pattern);
    word->number = std::strtod(word->pattern, nullptr);
    word->type = type;
}

// One rule line of "search_term.rules": "s" and a delimiter D, then the
// pattern, D and the replacement; an unescaped "#" starts a comment.
bool parse_substitution(std::string_view line, std::string &pattern, std::string &replacement) {
    if (line.size() < 2 || line[0] != 's') return false;
    const char delimiter = line[1];
    std::string rest;
    for (std::size_t i = 2; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '#') {
            if (!rest.empty() && rest.back() == '\\') {
                rest.back() = '#';
                continue;
            }
            break;
        }
        rest += c;
    }
    const std::size_t split = rest.find(delimiter);
    if (split == npos) return false;
    pattern = upper(trim_ws(std::string_view(rest).substr(0, split)));
    std::string_view tail = trim_ws(std::string_view(rest).substr(split + 1));
    // "s/colour/color/": a closing delimiter ends the replacement.
    if (!tail.empty() && tail.back() == delimiter) tail = trimr_ws(tail.substr(0, tail.size() - 1));
    replacement = tail;
    return true;
}

constexpr std::size_t SUBST_LINE_MAX = 8191;

}  // namespace

// ---- building the specification text -----------------------------------------

std::string default_search_fields(std::string_view fields) {
    std::string out = upper(trim_ws(fields));
    if (out.empty()) out = upper(trim_ws(config_string("DEFAULT_SEARCH_FIELD")));
    if (out.empty()) out = "NAME";
    return out;
}

char default_search_logic(std::string_view name) {
    if (name.empty()) name = config_string("DEFAULT_SEARCH_LOGIC");
    if (name.empty()) return '?';
    if (name == "AND") return '+';
    if (name == "OR") return '?';
    if (name == "NOT") return '-';
    if (is_logic(name.front())) return name.front();
    return '?';
}

char default_search_comp(std::string_view name) {
    if (name.empty()) name = config_string("DEFAULT_SEARCH_COMP");
    static constexpr std::pair<std::string_view, char> names[] = {
        {"CONTAINS", ':'}, {"EQUALS", '='}, {"GT", '>'},     {"LT", '<'},     {"WORD", '%'},
        {"WORDBEG", '['},  {"WORDEND", ']'}, {"STRBEG", '^'}, {"STREND", '$'},
    };
    for (const auto &[text, c] : names)
        if (name == text) return c;
    if (name.size() == 1 && is_comparison(name.front())) return name.front();
    return ':';
}

std::vector<std::string> get_spec_words(std::string_view text) {
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
        // A single quote right after a letter is an apostrophe.
        if (c == '"' || (c == '\'' && !(i > 0 && is_letter(text[i - 1])))) {
            quote = c;
            continue;
        }
        word += c;
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

std::string get_spec_string(std::string_view default_fields, char default_logic, char default_comp) {
    SpecText spec;
    const bool grouped = group_mode();
    const std::vector<std::string> fields = field_list(default_fields);

    // Per-field values: SEARCH_KEY_<field>.
    for (var *v = DICT_SHOPPER ? DICT_SHOPPER->next : nullptr; v; v = v->next) {
        if (!v->name || !strbeg(v->name, "SEARCH_KEY_")) continue;
        const std::string_view field = std::string_view(v->name).substr(11);
        if (!is_field_name(field)) continue;
        for (const std::string &w : get_spec_words(value_view(v->value))) {
            std::string_view word = w;
            char logic = default_logic;
            if (!word.empty() && is_logic(word.front())) {
                logic = word.front();
                word.remove_prefix(1);
            }
            if (!word.empty() && is_comparison(word.front())) {
                spec.add(logic, field, word.front(), word.substr(1));
            } else {
                spec.add(logic, field, default_comp, word);
            }
        }
    }

    // The loose specification.
    const std::string loose(DICT_SHOPPER ? var_string(DICT_SHOPPER, "SEARCH_SPEC") : std::string_view());
    const std::string_view searchable = config_string("SEARCHABLE_FIELDS");
    for (const std::string &w : get_spec_words(loose)) {
        std::string_view word = w;
        char logic = default_logic;
        if (!word.empty() && is_logic(word.front())) {
            logic = word.front();
            word.remove_prefix(1);
        }
        char comparison = default_comp;
        std::string named;  // the field the word names, when it names one
        std::string_view value = word;
        if (!word.empty() && is_comparison(word.front())) {
            comparison = word.front();
            value = word.substr(1);
        } else if (const std::size_t at = word.find_first_of(SEARCH_COMPARISON_CHARS); at != npos) {
            std::string field = upper(word.substr(0, at));
            if (is_field_name(field) && (searchable.empty() || striword(searchable, field) != npos)) {
                named = std::move(field);
                comparison = word[at];
                value = word.substr(at + 1);
            }
        }
        if (!named.empty()) {
            spec.add(logic, named, comparison, value);
            continue;
        }
        if (grouped && logic == '+') logic = '*';
        for (const std::string &field : fields) spec.add(logic, field, comparison, value);
    }
    return spec.take();
}

// ---- records ----------------------------------------------------------------------

extern "C" SearchWord *new_SearchWord(const char *field, char logic, char comparison) {
    auto *word = static_cast<SearchWord *>(std::calloc(1, sizeof(SearchWord)));
    if (!word) return nullptr;
    word->field = dup_cstring(field ? field : "");
    word->weight = search_key_rank_value(word->field);
    word->pattern = dup_cstring("");
    word->type = SEARCH_TYPE_TEXT;
    word->comparison = comparison;
    word->logic = logic;
    return word;
}

extern "C" void free_SearchWord(SearchWord *word) {
    if (!word) return;
    std::free(word->field);
    std::free(word->pattern);
    std::free(word);
}

extern "C" SearchSpec *new_SearchSpec(void) {
    auto *spec = static_cast<SearchSpec *>(std::calloc(1, sizeof(SearchSpec)));
    if (spec) spec->groups = new_var(nullptr);
    return spec;
}

extern "C" void free_SearchSpec(SearchSpec *spec) {
    if (!spec) return;
    for (SearchWord *word = spec->first; word;) {
        SearchWord *next = word->next;
        free_SearchWord(word);
        word = next;
    }
    nuke_var(spec->groups);
    std::free(spec);
}

extern "C" void append_search_word(SearchSpec *spec, SearchWord *word) {
    if (!spec || !word) return;
    SearchWord **tail = &spec->first;
    while (*tail) tail = &(*tail)->next;
    *tail = word;
}

SearchSpecPtr create_search_spec(std::string_view text, bool substitute) {
    SearchSpecPtr spec(new_SearchSpec());
    SearchWord **tail = &spec->first;
    for (std::string_view term : split_list(text, ' ')) {
        if (term.empty()) continue;
        const std::size_t at = term.find_first_of(SEARCH_COMPARISON_CHARS, 1);
        if (at == npos) {
            cgidie("Orvel encountered a malformed search specification (<TT>\"%s\"; \"%s\" in particular</TT>).  "
                   "The probable cause is a misconfiguration of a form field on the shopkeeper's part.",
                   quote_html_specials(text).c_str(), quote_html_specials(term).c_str());
        }
        const std::string field(term.substr(1, at - 1));
        SearchWord *word = new_SearchWord(field.c_str(), term.front(), term[at]);
        std::string value(term.substr(at + 1));
        if (substitute) {
            if (std::optional<std::string> changed = preprocess_search_term(value)) value = std::move(*changed);
        }
        normalise_pattern(word, value);
        if (word->logic == '*') set_integer(spec->groups, word->pattern, 0);
        *tail = word;
        tail = &word->next;
    }
    if (!spec->first) return nullptr;
    return spec;
}

extern "C" SearchSpec *create_SearchSpec(const char *text, int substitute) {
    return create_search_spec(text ? text : "", substitute != 0).release();
}

SearchQueryPtr new_search_query(std::string_view text, int page_size, bool substitute) {
    if (text.empty()) return nullptr;
    SearchSpecPtr spec = create_search_spec(text, substitute);
    if (!spec) return nullptr;
    SearchQueryPtr query(static_cast<SearchQuery *>(std::calloc(1, sizeof(SearchQuery))));
    query->collect_all = page_size < 0;
    if (page_size < 0) page_size = page_size == INT32_MIN ? INT32_MAX : -page_size;
    query->page_size = page_size == 0 ? 100 : page_size;
    query->most_matches = config_integer("SEARCH_MOST_MATCHES", 10000);
    query->word_mode = text.find_first_of("%[]") != npos;
    query->spec = spec.release();
    query->ids = new_list(16);
    query->ranks = new_list(16);
    return query;
}

extern "C" SearchQuery *new_SearchQuery(const char *text, int page_size, int substitute) {
    return new_search_query(text ? text : "", page_size, substitute != 0).release();
}

extern "C" void free_SearchQuery(SearchQuery *query) {
    if (!query) return;
    free_SearchSpec(query->spec);
    free_list(query->ids);
    free_list(query->ranks);
    std::free(query);
}

int search_key_rank_value(std::string_view field) {
    return config_integer("SEARCH_WEIGHT_" + std::string(field), 1);
}

std::string canonical_search_spec_string(const SearchQuery *query) {
    std::string out;
    if (!query || !query->spec) return out;
    for (const SearchWord *w = query->spec->first; w; w = w->next) {
        out += w->logic;
        out += w->field;
        out += w->comparison;
        out += w->pattern;
        out += ' ';
    }
    return out;
}

std::string canonical_search_spec_words_string(const SearchQuery *query) {
    std::string out;
    if (!query || !query->spec) return out;
    std::vector<std::string_view> seen;
    for (const SearchWord *w = query->spec->first; w; w = w->next) {
        const std::string_view pattern(w->pattern);
        bool known = false;
        for (std::string_view s : seen) known = known || s == pattern;
        if (known) continue;
        seen.push_back(pattern);
        out += pattern;
        out += ' ';
    }
    return out;
}

// ---- term substitution -----------------------------------------------------------

var *load_search_term_subs() {
    std::string contents;
    if (!fn_read_file(get_rules_pathname("search_term.rules"), contents)) return nullptr;
    var *rules = new_dict("[Search Term Substitution Rules]");
    std::string pattern, replacement;
    for (std::string_view line : split_list(contents, '\n')) {
        line = trimr_nl(line.substr(0, SUBST_LINE_MAX));
        if (parse_substitution(line, pattern, replacement)) set_string(rules, pattern, replacement);
    }
    return rules;
}

std::optional<std::string> preprocess_search_term(std::string_view value) {
    var *rules = load_search_term_subs();
    if (!rules) return std::nullopt;
    std::string out(value);
    for (var *rule = rules->next; rule; rule = rule->next) {
        if (!rule->name || Orvel_regex_comp(out, rule->name)) continue;
        // The replacement may name the sub-matches (%OVV_RE1 ...).
        const std::string replacement = ovmlsub(value_view(rule->value));
        const std::string matched(var_string(DICT_VARIABLES, "RE0"));
        out = strsub(out, matched, replacement);
    }
    nuke_var(rules);
    return out;
}
