// Reading the CGI request: the GET query string and the POST body, split
// into fields, decoded and filed into DICT_INPUT (every field, repeats
// joined by 0x1E), DICT_SHOPPER (ordinary fields) and DICT_ARGS; special
// field prefixes become cart changes, action choices or action arguments.
// Also form encoding for plug-ins, the later rewriting of multi-valued
// fields, batch product rows and the removal of forbidden fields.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The raw query: the query string, the POST body, or both joined by "&"
// (query string first); nullopt when the request has none.
std::optional<std::string> get_query_string();

// Parses the raw query into the dictionaries.  A field without "=" or with
// a bad escape ends the request through the error page.
void fill_query();

// The special-field rules for one decoded field: 1 when the field was
// consumed, 0 when it is ordinary and belongs in DICT_SHOPPER.  A call with
// two null pointers selects the optioned products gathered so far.
int query_hook(const char *name, const char *value);

// Form decoding: "+" is a blank, "%XX" a byte; the text ends at a decoded
// NUL.  A "%" not followed by two hex digits ends the request.
std::string url_decode(std::string_view text);

// The byte written by two hexadecimal digits (either case) at `pair`; a
// non-hex character ends the request.
unsigned char fromhex(const char *pair);

// Form encoding for plug-ins: blank -> "+", letters, digits, "_" and "-"
// kept, every other byte "%XX".  Returns a malloc'd string (NULL for NULL).
extern "C" char *Orvel_url_encode(const char *text);

// A passed quantity for `code`: "+..." one more than selected, "-..." one
// less (not below 0), other text its decimal value; empty text gives 0 when
// BLANK_QUANTITY says "remove", else -1 (leave the quantity unchanged).
int parse_passed_product_quantity(std::string_view code, std::string_view text);

// BATCH_PRODUCT_n / BATCH_QUANTITY_n rows of DICT_INPUT into the cart.
void parse_batch_product_input();

// Repeated fields with a [MIVS] joiner go into DICT_SHOPPER joined by it.
void rewrite_multiple_input_values();

// Removes the FORBIDDEN_QUERY_FIELDS from DICT_SHOPPER and DICT_INPUT.
void scrub_query();

// Once the configuration is read: ends the request with an error page when
// the request was larger than MAX_REQUEST_BODY (bytes, default 1 MiB) or
// had more fields than MAX_QUERY_FIELDS (default 10,000).  Reading stops
// at fixed ceilings (16 MiB, 1,000,000 fields) whatever the settings say.
void enforce_input_limits();

// Once the configuration is read: an empty PRODUCT_ field (the last one
// sent for its code) removes the product when BLANK_QUANTITY says "remove".
void apply_blank_quantities();
