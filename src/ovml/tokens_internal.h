// Shared between the token pass files: the once-per-process switches and
// the copy-free value lookups the scanner uses.  Not for other components;
// they use tokens.h.
#pragma once

#include <orvel.h>

#include <string>
#include <string_view>

namespace ovml_tokens {

// Configuration switches read at their first use in the process.
bool raw_complex_tokens();
bool display_names_disabled();
const std::string &unselected_quantity_text();
void forget_switches();

// The value of an upper-case token name.  On success `out` views either a
// value held by a dictionary (valid until that variable changes) or
// `scratch` (computed letters).  False when the name has no value.
bool token_value(std::string_view name, std::string &scratch, std::string_view &out);

// The display name of an "E_..._NAME" token, viewed like token_value's
// result.  False when there is none.
bool token_display_name(std::string_view name, std::string &scratch, std::string_view &out);

// The variable `name` of `dict`; never the dictionary's own head record.
var *entry(var *dict, std::string_view name);

}  // namespace ovml_tokens
