// Merchant rule files: the custom rules ([MESSAGES], [NAMES],
// [LOOPNAMES]) and the field validation run for an action.
#pragma once

#include <string_view>

void maybe_get_custom_rules();
void validate_fields(std::string_view action);
void revalidate_fields(std::string_view action);
