// Byte streams and the HTTP/1.0 client.
#include "platform/http.h"

#include "platform/net.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unistd.h>

// ---- byte streams --------------------------------------------------------------

extern "C" ByteStream *new_ByteStream(size_t capacity)
{
    auto *stream = static_cast<ByteStream *>(std::calloc(1, sizeof(ByteStream)));
    if (!stream) return nullptr;
    if (capacity > 0 && ByteStream_grow(stream, capacity) != 0) {
        std::free(stream);
        return nullptr;
    }
    return stream;
}

extern "C" void free_ByteStream(ByteStream *stream)
{
    if (!stream) return;
    std::free(stream->bytes);
    std::free(stream);
}

extern "C" int ByteStream_grow(ByteStream *stream, size_t size)
{
    if (!stream) return -1;
    if (size <= stream->capacity) return 0;
    auto *bytes = static_cast<unsigned char *>(std::realloc(stream->bytes, size));
    if (!bytes) return -1;
    std::memset(bytes + stream->capacity, 0, size - stream->capacity);
    stream->bytes = bytes;
    stream->capacity = size;
    return 0;
}

extern "C" int ByteStream_append(ByteStream *stream, const void *bytes, size_t length)
{
    if (!stream || (!bytes && length > 0)) return -1;
    if (length > SIZE_MAX - stream->length) return -1;
    const size_t needed = stream->length + length;
    if (needed > stream->capacity && ByteStream_grow(stream, needed) != 0) return -1;
    if (length > 0) std::memcpy(stream->bytes + stream->length, bytes, length);
    stream->length = needed;
    return 0;
}

namespace {

long write_bytes(const unsigned char *bytes, size_t length, const char *path, const char *mode)
{
    if (!path) return -1;
    std::FILE *file = std::fopen(path, mode);
    if (!file) return -1;
    const size_t written = length > 0 ? std::fwrite(bytes, 1, length, file) : 0;
    const bool closed = std::fclose(file) == 0;
    if (written != length || !closed) return 0;
    return static_cast<long>(length);
}

text *broken_text(const unsigned char *bytes, size_t length)
{
    text *lines = new_text(nullptr);
    std::string line;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = bytes[i];
        if (c == '\n') {
            text_addstring(lines, dup_cstring(line));
            line.clear();
        } else if (c != '\r' && c != '\0') {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) text_addstring(lines, dup_cstring(line));
    return lines;
}

}  // namespace

extern "C" long ByteStream_to_file(const ByteStream *stream, const char *path)
{
    if (!stream) return -1;
    return write_bytes(stream->bytes, stream->length, path, "wb");
}

extern "C" text *ByteStream_to_broken_text(const ByteStream *stream)
{
    return stream ? broken_text(stream->bytes, stream->length) : new_text(nullptr);
}

// ---- responses -----------------------------------------------------------------

extern "C" HTTP_Output *new_HTTP_Output(void)
{
    auto *out = static_cast<HTTP_Output *>(std::calloc(1, sizeof(HTTP_Output)));
    if (!out) return nullptr;
    out->headers = new_dict("[HTTP_HEADERS]");
    out->body = new_ByteStream(0);
    return out;
}

extern "C" void free_HTTP_Output(HTTP_Output *out)
{
    if (!out) return;
    std::free(out->error);
    std::free(out->protocol);
    std::free(out->reason);
    if (out->headers) nuke_var(out->headers);
    free_ByteStream(out->body);
    std::free(out);
}

namespace {

void set_error(HTTP_Output *out, const std::string &message)
{
    std::free(out->error);
    out->error = dup_cstring(message);
}

void set_text(char *&field, std::string_view value)
{
    std::free(field);
    field = dup_cstring(value);
}

// "HTTP/1.0 200 OK": the protocol up to the first space, a three-digit
// code from 100 to 999, and the rest of the line (leading space kept) as
// the reason.
bool parse_status_line(std::string_view line, HTTP_Output *out)
{
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    std::size_t at = space + 1;
    std::size_t digits = 0;
    int code = 0;
    while (at + digits < line.size() && line[at + digits] >= '0' && line[at + digits] <= '9' && digits < 4) {
        code = code * 10 + (line[at + digits] - '0');
        ++digits;
    }
    if (digits != 3 || code < 100) return false;
    set_text(out->protocol, line.substr(0, space));
    out->status = code;
    set_text(out->reason, line.substr(at + 3));
    return true;
}

}  // namespace

extern "C" HTTP_Output *HTTP_parse_output(const ByteStream *bytes, HTTP_Output *output)
{
    HTTP_Output *out = output ? output : new_HTTP_Output();
    if (!out) return nullptr;
    if (!out->headers) out->headers = new_dict("[HTTP_HEADERS]");
    if (!out->body) out->body = new_ByteStream(0);
    const unsigned char *data = bytes ? bytes->bytes : nullptr;
    const size_t length = bytes && data ? bytes->length : 0;

    std::string line;
    bool seen_status = false;
    bool bad_status = false;
    bool prev_was_newline = false;
    bool headers_too_long = false;
    size_t body_start = length;
    for (size_t i = 0; i < length; ++i) {
        if (i >= HTTP_MAX_HEADER_BYTES) {
            headers_too_long = true;
            break;
        }
        const unsigned char c = data[i];
        if (c == '\r' || c == '\0') continue;
        if (c != '\n') {
            line += static_cast<char>(c);
            prev_was_newline = false;
            continue;
        }
        if (prev_was_newline && line.empty()) {
            body_start = i + 1;
            break;
        }
        prev_was_newline = true;
        if (line.rfind("HTTP", 0) == 0) {
            if (parse_status_line(line, out))
                seen_status = true;
            else
                bad_status = true;
        } else if (!line.empty()) {
            PrefLine header;
            if (explode_colon(":", '\0', line, header) == 0 && !header.name.empty())
                set_string(out->headers, header.name, header.value);
        }
        line.clear();
    }
    if (headers_too_long) {
        set_error(out, "response headers too long");
        return out;
    }
    if (body_start < length) {
        out->body->length = 0;
        if (ByteStream_append(out->body, data + body_start, length - body_start) != 0)
            set_error(out, "out of memory for the response body");
    }
    if (bad_status && !seen_status)
        set_error(out, "malformed status line");
    else if (!seen_status)
        set_error(out, "response has no status line");
    return out;
}

extern "C" long HTTP_Output_to_file(const HTTP_Output *out, const char *path)
{
    if (!out || !out->body || !path) return -1;
    size_t length = out->body->length;
    if (var *cl = get_var(out->headers, "CONTENT-LENGTH"); cl && cl->value) {
        const std::string_view text = value_view(cl->value);
        char *end = nullptr;
        const std::string copy(trim_ws(text));
        errno = 0;
        const long long declared = std::strtoll(copy.c_str(), &end, 10);
        if (!copy.empty() && end && *end == '\0' && errno == 0 && declared >= 0 &&
            static_cast<unsigned long long>(declared) < length)
            length = static_cast<size_t>(declared);
    }
    const char *mode = striend(path, "exe") != npos ? "wb" : "w";
    return write_bytes(out->body->bytes, length, path, mode);
}

extern "C" text *HTTP_Output_to_broken_text(const HTTP_Output *out)
{
    return ByteStream_to_broken_text(out ? out->body : nullptr);
}

extern "C" var *HTTP_Output_to_var(const HTTP_Output *out)
{
    if (!out || !out->body) return nullptr;
    text *lines = HTTP_Output_to_broken_text(out);
    var *dict = new_dict("[HTTP_VARS]");
    const int stored = Orvel_parse_prefs_from_text(lines, dict, 1);
    free_text(lines);
    if (stored < 0) {
        nuke_var(dict);
        return nullptr;
    }
    return dict;
}

// ---- fetching ------------------------------------------------------------------

namespace {

// Host and path go into the request as they are; a line break or a NUL
// would let them add headers of their own.
bool safe_request_text(const char *s)
{
    return s && std::strpbrk(s, "\r\n") == nullptr;
}

bool send_all(int sock, const std::string &request)
{
    size_t sent = 0;
    while (sent < request.size()) {
        const size_t piece = std::min<size_t>(request.size() - sent, 65536);
        const int n = Orvel_net_write(sock, request.data() + sent, static_cast<int>(piece));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

extern "C" HTTP_Output *HTTP_fetch_url_binary(const char *host, int port, const char *path)
{
    HTTP_Output *out = new_HTTP_Output();
    if (!out) return nullptr;  // out of memory: nothing to report in
    if (!safe_request_text(host) || !safe_request_text(path) || !*host) {
        set_error(out, "invalid host or path for the request\n");
        return out;
    }
    const int sock = Orvel_net_open(host, port);
    if (sock < 0) {
        set_error(out, dupsprintf("failed to connect: %s\n", std::strerror(errno)));
        return out;
    }
    const std::string request = dupsprintf("%s %s HTTP/%s\r\nHost: %s\r\n\r\n", "GET", *path ? path : "/", "1.0", host);
    if (!send_all(sock, request)) {
        set_error(out, dupsprintf("failed to send request to remote host: %s\n", std::strerror(errno)));
        ::close(sock);
        return out;
    }

    ByteStream *raw = new_ByteStream(8192);
    unsigned char piece[8192];
    bool too_large = false;
    for (;;) {
        const int n = Orvel_net_read(sock, piece, sizeof piece);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            break;
        }
        if (raw->length + static_cast<size_t>(n) > HTTP_MAX_RESPONSE_BYTES) {
            too_large = true;
            break;
        }
        // Grow by doubling so that a long answer is not copied once per read.
        if (raw->length + static_cast<size_t>(n) > raw->capacity &&
            ByteStream_grow(raw, std::max(raw->capacity * 2, raw->length + static_cast<size_t>(n))) != 0) {
            too_large = true;
            break;
        }
        ByteStream_append(raw, piece, static_cast<size_t>(n));
    }
    ::close(sock);
    HTTP_parse_output(raw, out);
    free_ByteStream(raw);
    if (too_large) set_error(out, dupsprintf("response larger than %u bytes\n", HTTP_MAX_RESPONSE_BYTES));
    return out;
}
