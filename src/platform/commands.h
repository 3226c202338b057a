// Running outside programs and sending mail: every command goes through
// my_run_command, which refuses dangerous command lines and talks to the
// child through a one-way pipe; mail is a complete message piped into the
// configured mail program.
#pragma once

#include <orvel.h>

#include <optional>
#include <string>
#include <string_view>

// nullopt when the command may run, else the message
// "\"%s\" contains a forbidden shell character".
std::optional<std::string> Orvel_cmdline_forbidden(std::string_view command);
// With `output`, the command's standard output is read into it line by
// line; otherwise `input` (if any) is written to its standard input.  0
// when it ran, 1 when it could not be started, -1 when it was refused.
int my_run_command(std::string_view command, const text *input, text *output, bool wrap);
// Sends one message: headers (name -> value, in order) and body lines.
// -1 when no mail program is configured, else my_run_command's result.
int my_send_mail(var *headers, const text *body);
