// Search specifications and how one line of product data scores against
// them.  A specification is a line of terms such as "+NAME:red ?GROUP=tea
// -NAME%sale": a logic character, a field name, a comparison character and
// a value.  This component builds that text from the shopper's search
// fields, parses it into a SearchSpec (the C records of orvel.h, shared
// with plug-ins), applies the merchant's term substitutions, scores one
// field line against the terms (match_line), and offers the loose
// comparison and the database conditions built on the same parser.
#pragma once

#include <orvel.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The logic characters and the comparison characters of a term.
constexpr std::string_view SEARCH_LOGIC_CHARS = "+?-*";
constexpr std::string_view SEARCH_COMPARISON_CHARS = ":=><%[]^$";

// Owners for the C records.
struct SearchSpecFree {
    void operator()(SearchSpec *spec) const { free_SearchSpec(spec); }
};
struct SearchQueryFree {
    void operator()(SearchQuery *query) const { free_SearchQuery(query); }
};
using SearchSpecPtr = std::unique_ptr<SearchSpec, SearchSpecFree>;
using SearchQueryPtr = std::unique_ptr<SearchQuery, SearchQueryFree>;

// ---- building the specification text -----------------------------------------

// The upper-cased list of fields, else DEFAULT_SEARCH_FIELD, else "NAME"
// (";"-separated).
std::string default_search_fields(std::string_view fields);
// A logic character from a name (AND, OR, NOT, or a text beginning with one
// of + ? - *), from DEFAULT_SEARCH_LOGIC when the name is empty; '?' when
// both are empty or the name is unknown.
char default_search_logic(std::string_view name);
// A comparison character from a name (CONTAINS, EQUALS, GT, LT, WORD,
// WORDBEG, WORDEND, STRBEG, STREND, or the character itself), from
// DEFAULT_SEARCH_COMP when the name is empty; ':' otherwise.
char default_search_comp(std::string_view name);

// Loose text split into words at white space; a double-quoted stretch, or
// one in single quotes that do not follow a letter, stays one word with
// its white space turned into '~' and the quotes dropped.
std::vector<std::string> get_spec_words(std::string_view text);

// The specification text built from the shopper's SEARCH_KEY_<field>
// fields and SEARCH_SPEC, with the default fields, logic and comparison
// for words that do not name their own.  Field names are kept to letters,
// digits, '_' and '-' (others are passed over), and terms stop before the
// text would pass SEARCH_SPEC_TEXT_MAX characters.
std::string get_spec_string(std::string_view default_fields, char default_logic, char default_comp);
constexpr std::size_t SEARCH_SPEC_TEXT_MAX = 8192;

// ---- parsing ------------------------------------------------------------------------

// create_SearchSpec and new_SearchQuery taking views.
SearchSpecPtr create_search_spec(std::string_view text, bool substitute);
SearchQueryPtr new_search_query(std::string_view text, int page_size, bool substitute);

// SEARCH_WEIGHT_<field> from the configuration, 1 when absent.
int search_key_rank_value(std::string_view field);

// "%c%s%c%s " per term (logic, field, comparison, pattern).
std::string canonical_search_spec_string(const SearchQuery *query);
// Each distinct pattern, in first-seen order, followed by one space.
std::string canonical_search_spec_words_string(const SearchQuery *query);

// ---- term substitution -----------------------------------------------------------

// The rules of "search_term.rules" (pattern -> replacement, in file
// order) as a dictionary labelled "[Search Term Substitution Rules]", or
// nullptr when there is no rule file.  The caller nuke_var's it.
var *load_search_term_subs();
// The value after every rule, in order: where a rule's pattern (a
// case-insensitive extended regular expression) matches, each occurrence
// of the matched text becomes the token-rendered replacement.  nullopt
// when there is no rule file.
std::optional<std::string> preprocess_search_term(std::string_view value);

// ---- scoring one line ---------------------------------------------------------------

// Value types of a scanned line (the numeric and text codes are the
// SearchWord ones).
constexpr int SEARCH_TYPE_NONE = 0;

// One field line of product data, its value normalised the way the
// patterns are.
struct SearchLine {
    std::string field;
    std::string text;
    double number = 0.0;
    int type = SEARCH_TYPE_NONE;
};

// The line's score: -1 when a "+" term of its field fails or a "-" term
// matches (the product is excluded), otherwise the sum of the weights of
// the matching terms of its field.  Sets the found flag of the "+" and
// "*" terms that match.
int match_line(const SearchLine &line, SearchSpec *spec);
// True when a "*" group found no match in the current product.
bool parand_failed(SearchSpec *spec);
// True when the product must be dropped: a group failed, or a "+" term's
// field is not among the product's fields (`field_table`: names each
// followed by ';').
bool maybe_exclude_match(std::string_view field_table, SearchSpec *spec);
// Clears the found flags of every term and every group.
void clear_found_switches(SearchSpec *spec);

// ---- database conditions -------------------------------------------------------------

// The specification as a WHERE condition, one parenthesised condition per
// term joined by " AND ".  Values have single quotes and backslashes
// doubled; a term whose field is not made of A-Z, 0-9 and '_' is left out.
std::string search_spec_where(const SearchSpec *spec);
// "COLUMN in ('A','B')", the ids quoted the same way; nullopt for a column
// name not made of A-Z, 0-9 and '_'.
std::optional<std::string> skuid_list_where(const std::vector<std::string> &ids, std::string_view column);
