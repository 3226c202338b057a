// The loose search comparison: does one value satisfy a short search
// expression such as ":red", "=BLUE", ">20" or "+%sale -clearance"?
// Used by the cart sums of the token pass, the choice element and the rule
// matcher.
#pragma once

#include "search/search_spec.h"

#include <string>
#include <string_view>

// The specification text of a loose expression: each word (quoted
// stretches stay one word) becomes a term on the field "x" with its own
// logic character ('?' when absent) and comparison character (':' when
// absent), the rest of the word as the value.
std::string loose_spec_text(std::string_view loose_spec);
// A value as the one line of field "x" that a loose specification is
// scored against: upper-cased text, with its leading number.
SearchLine loose_spec_line(std::string_view value);

// True when the value's score against the loose specification is above 0.
bool search_comp(std::string_view value, std::string_view loose_spec);
