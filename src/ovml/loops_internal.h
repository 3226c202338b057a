// Pieces shared by the loop element's source files: owned scratch
// dictionaries, reading attributes, the order of passes, the loop
// counters kept in DICT_ORVEL, and splitting ';'-separated lists.
#pragma once

#include "strings/choices.h"

#include <orvel.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace loops {

// A dictionary (head and chain) the loop builds for itself and frees.
struct DictFree {
    void operator()(var *v) const { nuke_var(v); }
};
using DictPtr = std::unique_ptr<var, DictFree>;
// A fresh unnamed dictionary.
DictPtr new_scratch_dict();

// Attribute reads that accept a null attribute dictionary: a missing
// attribute reads as "", `def` or false.
std::string attr_string(var *attrs, std::string_view name);
int attr_integer(var *attrs, std::string_view name, int def);
bool attr_boolean(var *attrs, std::string_view name);

// The positions 1..n in the order the passes visit them: SIZE (a count or
// a percentage, at random), else SCRAMBLE (all, at random), else in order.
// Product loops also take SCRAMBLED for SCRAMBLE, and REVERSED.
Choices loop_choices(var *attrs, int n, bool product_loop);

// Loop counters in DICT_ORVEL (0 when absent).
int get_counter(std::string_view name);
void set_counter(std::string_view name, int n);
// A string loop variable in DICT_ORVEL.
void set_loop_string(std::string_view name, std::string_view text);

// The pieces of `text` between separators, skipping leading separators and
// taking a run of them as one; a text of separators only gives one empty
// piece, an empty text none.
std::vector<std::string> split_words(std::string_view text, char separator);

// The nested dictionary stored under `name` in `dict`, or nullptr.
var *nested_dict(var *dict, std::string_view name);

// The names of a dictionary's entries, in order (snapshots, so that the
// body may change the dictionary while the passes run).
std::vector<std::string> entry_names(var *dict);

}  // namespace loops
