// OVML tokens: %OV letter _ NAME values from the dictionaries, with
// fall-backs, widths, sums, dates and product information.
#pragma once

#include <string>
#include <string_view>

// The token pass: every %OV token replaced by its value (always a new string).
std::string ovmlsub(std::string_view text);
