// Running outside programs and sending mail: every command goes through
// my_run_command, which refuses dangerous command lines and starts the
// program directly with its arguments (never through a shell), feeding it
// input or reading its output; mail is a complete message piped into the
// configured mail program.
#pragma once

#include <orvel.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// nullopt when the command may run, else the message
// "\"%s\" contains a forbidden shell character".  Forbidden: & ; | < > `
// $ CR LF NUL, unless the tweak BLESSCMDLINE is true.
std::optional<std::string> Orvel_cmdline_forbidden(std::string_view command);
// The words of a command line: split at blanks, where '...' and "..."
// keep blanks inside one word (the quotes themselves are dropped).
std::vector<std::string> split_command_line(std::string_view command);
// With `output`, the command's standard output is read into it line by
// line; otherwise `input` (if any) is written to its standard input and
// whatever the command prints goes into the response.  0 when it ran, 1
// when it could not be started, -1 when it was refused.
int my_run_command(std::string_view command, const text *input, text *output, bool wrap);
// The same, also giving the child's exit code in *exit_status (128 + the
// signal when a signal ended it, -1 when it did not run).  SIGPIPE is
// ignored while the command runs, so a child that stops reading early
// cannot end the request.
int my_run_command(std::string_view command, const text *input, text *output, bool wrap,
                   int *exit_status);
// Sends one message: headers (name -> value, in order) and body lines.
// -1 when no mail program is configured (or MAIL_PATH renders empty), else
// my_run_command's result, except that a mail program that exits non-zero
// gives 1.  MAIL_PATH takes tokens; a path without a space gets " -t".
int my_send_mail(var *headers, const text *body);
// The message my_send_mail pipes: with `email_headers` 0 or below one
// "Name: value" line per header (CR and LF in them made blanks), then with
// 0 an empty line; then the body, where a line that is exactly "." is sent
// as ". " so that it cannot end the message early.
std::string build_mail_message(var *headers, const text *body, int email_headers);
