// Lists of values and attribute parsing; the C functions are in orvel.h.
#pragma once

#include <orvel.h>

#include <string_view>

// Parses an attribute string (NAME=value NAME="quoted value" FLAG) into the
// dictionary; see to_fields in orvel.h.
int to_fields(std::string_view text, var *dict, bool upcase, char joiner);
// Settles calls with a C string and a bool flag, which would otherwise be
// ambiguous between the form above and the C form.
int to_fields(const char *text, var *dict, bool upcase, char joiner);
