// OVML rendering entry points: printing a template file, rendering a
// string, and the token pass over a string.
#pragma once

#include <string>
#include <string_view>

// Prints a template file as the response body (header block first) and
// records it as TOP_DOC.
void print_OVML_File(const std::string &path);
// Renders OVML text and returns the result.
std::string render_OVML_String(std::string_view text);
