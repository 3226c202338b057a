// The variable store: typed values, named variables and the dictionaries
// that hold all request state.  The C interface (shared with plug-ins) is
// declared in orvel.h; this header adds the C++ conveniences the program
// itself uses: std::string_view names, typed setters and getters that fall
// back to defaults for absent variables.
#pragma once

#include <orvel.h>

#include <cstdarg>
#include <string>
#include <string_view>

// Name hash: XOR of each byte (as a signed char) shifted left by its
// position modulo 32.
uint32_t var_name_hash(std::string_view name);

// Lookups and stores by string_view (same semantics as the C functions).
var *get_var(var *dict, std::string_view name);
void unset_var(var *dict, std::string_view name);

var *set_none(var *dict, std::string_view name);
var *set_integer(var *dict, std::string_view name, int n);
var *set_float(var *dict, std::string_view name, double f);
var *set_string(var *dict, std::string_view name, std::string_view s);
// Appends an unnamed entry (generated name " N").
var *add_unnamed_string(var *dict, std::string_view s);

// Reading with defaults; an absent variable reads as "" / def / false.
std::string_view var_string(var *dict, std::string_view name);
int var_integer(var *dict, std::string_view name, int def);
double var_float(var *dict, std::string_view name, double def);
bool var_boolean(var *dict, std::string_view name);
bool var_defined(var *dict, std::string_view name);

// A value's text as a string_view (never null).
std::string_view value_view(value *val);

// Creates an empty dictionary with the given label.
var *new_dict(std::string_view label);

// Argument-list form of value_set: the payload is read from `args` as the
// type requires (int, double or pointer; nothing for TYPE_NONE).
void value_vset(value *val, int type, va_list args);

// A malloc'd, terminated copy of the text, for payloads and names that the
// C records take over.
char *dup_cstring(std::string_view s);
