// The output layer: every byte of a response goes out through xprintf,
// which prints the CGI header block once (status, target, cookie,
// Last-Modified, caching lines, merchant header rules, content type) before
// the first body text.  Redirects and no-content answers decide the status
// before the first write.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

// Formats and writes body text, printing the header block first.  A null
// format suppresses every later write (headers included).  Exported to
// plug-ins (orvel.h).
extern "C" void xprintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Writes body text as it is (the header block first).
void xputs(std::string_view text);
void print_HTTP_header();
// Decides (once) and returns the status text: 0, 204 or 301.
const std::string &status_line(int status, const char *location);
// Decides (once) and returns the "Window-target" line.
const std::string &window_target(const char *name);
void print_no_content();
int print_redirection(std::string_view location);
std::string cookie_time(std::time_t when);

// Header values that come from outside must not add header lines:
// CR, LF and NUL become blanks.
std::string header_safe(std::string_view value);

// True once the header block has gone out.
bool headers_sent();
// For an answer that writes its own header block straight to standard
// output (the plain-text diagnostics): body text written later through the
// output layer follows it without a second header block.
void header_block_written_directly();

// Holding the response: from begin_held_output on, everything written to
// standard output is kept in memory, so that a request that fails late
// (its session cannot be saved) answers with its error page alone.
// release_held_output sends what is held and stops holding (the exit path
// calls it; a download streams after calling it).  discard_held_output
// drops what is held and starts the response afresh, header block
// included.
void begin_held_output();
void release_held_output();
void discard_held_output();
