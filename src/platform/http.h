// The outgoing HTTP/1.0 client and its growable byte buffer.  Nothing on
// the request path fetches URLs; plug-ins call these through the C
// interface declared in orvel.h (ByteStream, HTTP_Output and their
// functions).  The client never trusts the server: the response is limited
// to HTTP_MAX_RESPONSE_BYTES and its header block to HTTP_MAX_HEADER_BYTES,
// and a malformed answer is reported in the output's error text.
#pragma once

#include <orvel.h>

#include <string>

// The error text of an output as a string ("" when the fetch worked).
inline std::string http_error(const HTTP_Output *out) { return out && out->error ? out->error : ""; }
