// Template text as a sequence of lines kept back to back in one buffer,
// with the offset where each line ends.  A whole template file is read into
// one of these in a single piece; an element's body is collected into one
// line by line and kept raw until the element runs.  A "line" is any string
// routed on its own: normally a line with its line break, but a body also
// holds the text before a tag and rebuilt tags as lines of their own.
#pragma once

#include <orvel.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class OVMLText {
public:
    OVMLText() = default;

    // Splits at line feeds, which stay with their lines; a last piece
    // without a line feed is a line too.
    static OVMLText from_string(std::string_view contents);
    static OVMLText from_buffer(std::string &&contents);  // takes the string over
    // The strings of a C text, one line each.
    static OVMLText from_c_text(const text *t);

    void add(std::string_view line);
    void clear();

    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view operator[](std::size_t i) const {
        return std::string_view(buf_).substr(start(i), ends_[i] - start(i));
    }
    // Every line back to back.
    std::string_view buffer() const { return buf_; }
    std::size_t start(std::size_t i) const { return i == 0 ? 0 : ends_[i - 1]; }
    std::size_t end(std::size_t i) const { return ends_[i]; }
    // Index of the first line at or after `from` that ends after buffer
    // offset `pos` (size() when none).
    std::size_t line_at(std::size_t pos, std::size_t from) const;
    // Copies of the lines.
    std::vector<std::string> lines() const;

    class const_iterator {
    public:
        const_iterator(const OVMLText *t, std::size_t i) : t_(t), i_(i) {}
        std::string_view operator*() const { return (*t_)[i_]; }
        const_iterator &operator++() { ++i_; return *this; }
        bool operator==(const const_iterator &o) const { return i_ == o.i_; }
        bool operator!=(const const_iterator &o) const { return i_ != o.i_; }
    private:
        const OVMLText *t_;
        std::size_t i_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, ends_.size()}; }

private:
    void split_lines();

    std::string buf_;
    std::vector<std::size_t> ends_;
};
