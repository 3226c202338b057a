// Byte streams: the growable character buffer used to build strings piece
// by piece.  Character appends grow the buffer by 8, string appends double
// it, so building a string costs amortised linear time.  Texts (ordered
// lists of owned strings) are declared with the C interface in orvel.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class Stream {
public:
    explicit Stream(std::size_t capacity = 0);  // new_stream

    void putc(char c);                     // stream_putc
    void puts(std::string_view s);         // stream_puts
    void printf(const char *format, ...)   // stream_printf
        __attribute__((format(printf, 2, 3)));

    std::string empty();                   // empty_stream: takes the contents
    std::string_view reset();              // reset_stream: contents stay readable
    std::string_view view() const { return {buf_.data(), len_}; }
    std::size_t length() const { return len_; }
    std::size_t capacity() const { return cap_; }
    void grow(std::size_t capacity);       // grow

private:
    std::string buf_;   // holds capacity characters
    std::size_t cap_;
    std::size_t len_ = 0;
};
