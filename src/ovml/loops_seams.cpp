// The loops' links to the search, option and currency subsystems.
//
// Searching, stored search results, the options file and the currency
// rules file are not part of the program yet.  Until they are, the seams
// below leave the collections as they find them: a search finds nothing,
// a reload keeps the current matches, and DICT_OPTIONS and DICT_CURRENCY
// hold whatever has been stored in them.  When a subsystem arrives, its
// seam forwards to it (the search to its query runner and
// reload_historical_query, the options to fill_options, the currency
// rules to maybe_get_currency_rules).
#include "ovml/loops_seams.h"

#include "catalog/products.h"
#include "strings/strutil.h"

#include <cstdlib>
#include <string>

namespace loops {

DictPtr search_result(std::string_view, int, bool) { return new_scratch_dict(); }

void reload_matches(int, int) {}

void add_match_ranks() { add_ranks_to_matching_products(); }

void load_options() {}

void load_currency_rules() {}

double rule_float(std::string_view rule) {
    const std::string text(rule);
    return std::strtod(text.c_str(), nullptr);
}

std::string rule_note(std::string_view rule) {
    const std::size_t at = rule.find('@');
    if (at == npos) return {};
    return std::string(trim_ws(rule.substr(at + 1)));
}

}  // namespace loops
