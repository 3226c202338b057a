// What the loops need from the option and currency subsystems,
// behind names of their own.  Each function forwards to its subsystem
// where that subsystem is part of the program; where it is not yet, the
// function does nothing, so the loop that relies on it finds an empty
// collection instead of made-up results.
#pragma once

#include "ovml/loops_internal.h"

#include <string>
#include <string_view>

namespace loops {

// Loads the option definitions into DICT_OPTIONS (once per process).
void load_options();
// Loads the currency rules into DICT_CURRENCY (once per process).
void load_currency_rules();

// A rule value's leading decimal number (0 when none) and its note, the
// trimmed text after the first '@' ("" when none).
double rule_float(std::string_view rule);
std::string rule_note(std::string_view rule);

}  // namespace loops
