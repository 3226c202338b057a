// Merchant rule files: finding and rendering a rule file, and the custom
// rules ([MESSAGES], [NAMES], [LOOPNAMES]).
#pragma once

#include <optional>
#include <string>
#include <string_view>

void maybe_get_custom_rules();

// The text of a rules file: PATH.ovml when it exists, always rendered as
// OVML; else PATH itself, rendered when `render` is set; nullopt when
// neither exists.
std::optional<std::string> get_possibly_OVMLified_Rules(const std::string &path, bool render);
// Whether rules of the given kind are rendered as OVML (OVML_RULES).
bool should_OVMLify_rules(std::string_view kind);
