// Byte streams.  The std::string member is kept exactly `capacity`
// characters long; `len_` says how many of them are contents.  The
// string's own terminator gives the one extra byte the buffer needs.
#include "strings/stream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <utility>

Stream::Stream(std::size_t capacity) : cap_(capacity) { buf_.resize(capacity); }

void Stream::grow(std::size_t capacity)
{
    buf_.resize(capacity);
    cap_ = capacity;
    len_ = std::min(len_, capacity);
}

void Stream::putc(char c)
{
    if (len_ + 1 >= cap_)
        grow(len_ + 8);
    buf_[len_++] = c;
}

void Stream::puts(std::string_view s)
{
    if (len_ + s.size() >= cap_)
        grow(std::max(2 * cap_, len_ + s.size() + 1));
    s.copy(buf_.data() + len_, s.size());
    len_ += s.size();
}

void Stream::printf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n > 0) {
        std::size_t need = static_cast<std::size_t>(n);
        if (len_ + need >= cap_)
            grow(std::max(2 * cap_, len_ + need + 1));
        // The growth rule leaves len_ + need < cap_, so the terminator
        // vsnprintf writes still falls inside the buffer.
        std::vsnprintf(buf_.data() + len_, need + 1, format, args);
        len_ += need;
    }
    va_end(args);
}

std::string Stream::empty()
{
    buf_.resize(len_);
    std::string out = std::move(buf_);
    buf_ = std::string();
    cap_ = 0;
    len_ = 0;
    return out;
}

std::string_view Stream::reset()
{
    std::string_view old(buf_.data(), len_);
    len_ = 0;
    return old;
}
