// The loops' links to the option and currency subsystems.
//
// The options file and the currency rules file are not part of the
// program yet.  Until they are, the seams below leave DICT_OPTIONS and
// DICT_CURRENCY holding whatever has been stored in them.  When a
// subsystem arrives, its seam forwards to it (the options to fill_options,
// the currency rules to maybe_get_currency_rules).
#include "ovml/loops_seams.h"

#include "strings/strutil.h"

#include <cstdlib>
#include <string>

namespace loops {

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
