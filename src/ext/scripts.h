// Merchant scripts: running a script from the store's CGI directory with
// the shopper's data, and applying the lines it prints.
//
// The script runner is not part of the program yet: run_user_script refuses
// unsafe names (-1) and otherwise reports that the script could not run
// (1); interpret_api_script_output applies nothing.
#pragma once

#include <orvel.h>

#include <string_view>

// -1 when `name` is empty, begins with "." or contains ".."; 1 when the
// script could not run; 0 when it ran (its standard output read into
// `output` when given, else `input` written to its standard input).
int run_user_script(std::string_view name, std::string_view argument_text, const text *input, text *output);

// Applies a script's output lines; false when nothing was applied.
bool interpret_api_script_output(const text *output);

// Runs the merchant script `name` with the request's data and applies its
// output; 0 when it ran, non-zero when it could not be started (always, for
// now).
int do_api_script(std::string_view name);
