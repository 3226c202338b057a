#include "ovml/lines.h"

#include <algorithm>
#include <cstring>

void OVMLText::split_lines() {
    ends_.clear();
    const char *data = buf_.data();
    const std::size_t size = buf_.size();
    std::size_t pos = 0;
    while (pos < size) {
        const void *lf = std::memchr(data + pos, '\n', size - pos);
        pos = lf ? static_cast<std::size_t>(static_cast<const char *>(lf) - data) + 1 : size;
        ends_.push_back(pos);
    }
}

OVMLText OVMLText::from_string(std::string_view contents) {
    return from_buffer(std::string(contents));
}

OVMLText OVMLText::from_buffer(std::string &&contents) {
    OVMLText t;
    t.buf_ = std::move(contents);
    t.split_lines();
    return t;
}

OVMLText OVMLText::from_c_text(const text *t) {
    OVMLText result;
    for (const textstring *node = t ? t->first : nullptr; node; node = node->next)
        if (node->string) result.add(node->string);
    return result;
}

void OVMLText::add(std::string_view line) {
    buf_.append(line);
    ends_.push_back(buf_.size());
}

void OVMLText::clear() {
    buf_.clear();
    ends_.clear();
}

std::size_t OVMLText::line_at(std::size_t pos, std::size_t from) const {
    if (from >= ends_.size()) return ends_.size();
    auto it = std::upper_bound(ends_.begin() + static_cast<std::ptrdiff_t>(from), ends_.end(), pos);
    return static_cast<std::size_t>(it - ends_.begin());
}

std::vector<std::string> OVMLText::lines() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (std::string_view line : *this) out.emplace_back(line);
    return out;
}
