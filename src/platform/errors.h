// The ways a request ends or speaks to the shopper: the fatal error page
// (cgidie), the message page (cgimsg), merchant-customisable messages, the
// request log line and the process exit.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

// Placeholder and replacement pairs of a merchant message ("%f", "%id", ...).
using MessagePairs = std::initializer_list<std::pair<std::string_view, std::string_view>>;

[[noreturn]] void cgidie(const char *format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void cgimsg(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The wording of a message: the merchant's [MESSAGES] text for `name` or
// the default, its OVML tokens expanded when `cook` is set, then every
// placeholder replaced (ignoring case) by its value.  Replacement values are
// inserted after the tokens are expanded, so shopper-supplied text is never
// itself expanded.  At most 8192 characters.
std::string cook_custom_message(std::string_view name, std::string_view def, bool cook,
                                MessagePairs pairs = {});
// Prints the message page ("custom/<name>.html", else the given template,
// else "message") and returns.
void speak_custom_message(std::string_view name, std::string_view template_name,
                          std::string_view def, bool cook, MessagePairs pairs = {});
// Same, then ends the request with status 1.
[[noreturn]] void croak_custom_message(std::string_view name, std::string_view template_name,
                                       std::string_view def, bool cook, MessagePairs pairs = {});

// Writes the request log line for a status of 0 to 2.
void write_session_log_line(int status);

// The first fatal message of the process, if any (for tests and the
// second-failure page).
const std::string *first_fatal_error();
