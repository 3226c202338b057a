// Currency conversion for display: amounts shown in the shopper's chosen
// currency at the rates the merchant keeps in currency.rules.
//
// The rate table is not loaded yet: every conversion answers -1 ("cannot
// convert"), which callers show as "n/a".
#pragma once

#include <string_view>

// The amount converted into currency `code` (matched ignoring case), or -1
// when it cannot be converted.
double convert_currency(double amount, std::string_view code);
