// The browser's cookies (HTTP_COOKIE into DICT_COOKIES) and the MIME type
// of a file by its extension: the merchant's "mime.rules" (DICT_MIMETYPES,
// read once per process) first, then a built-in table.
#pragma once

#include <string>
#include <string_view>

// Files the HTTP_COOKIE header into DICT_COOKIES (names upper-cased, a
// repeated name's values joined by 0x1E, a bare word as integer 1).
// Returns 1, or 0 when the request carries no cookie header.
int digest_cookies();

// Reads "mime.rules" from the rules directory into DICT_MIMETYPES the first
// time it is called; a missing file leaves the table empty.
void get_mime_rules();

// The MIME type for a file name: "text/plain" without an extension,
// otherwise by the upper-cased extension.
std::string get_mime_type(std::string_view name);

// Forgets that "mime.rules" was read (tests start each case afresh).
void reset_mime_rules_state();
