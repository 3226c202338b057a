// The loose search comparison: does one value satisfy a short search
// expression such as ":red", "=BLUE", ">20" or "+%sale -clearance"?
// Used by the cart sums of the token pass, the choice element and the rule
// matcher.
#pragma once

#include <string_view>

// Each word of `loose_spec` (quoted stretches stay one word) is one term:
// an optional logic character (+ required, ? optional, - excluded,
// * grouped; "?" when absent), an optional comparison character out of
// : = > < % [ ] ^ $ (":" when absent) and the term's value.  The value is
// upper-cased and scored against the terms as one text field; true when
// the score is above 0.
bool search_comp(std::string_view value, std::string_view loose_spec);
