#include "ovml/scanner.h"

#include "config/config.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr std::size_t npos = std::string_view::npos;

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_rvel(const char *p) {
    return (p[0] | 0x20) == 'r' && (p[1] | 0x20) == 'v' && (p[2] | 0x20) == 'e' && (p[3] | 0x20) == 'l';
}

// Word of eight bytes each holding b.
constexpr std::uint64_t repeat(unsigned char b) { return 0x0101010101010101ULL * b; }

// Non-zero when some byte of x is zero.
constexpr std::uint64_t has_zero(std::uint64_t x) {
    return (x - repeat(0x01)) & ~x & repeat(0x80);
}

}  // namespace

const OVMLText &TagDef::body_lines() const {
    static const OVMLText none;
    return body ? *body : none;
}

void reset_TagDef(TagDef &def) {
    def.leading_text.clear();
    def.has_leading = false;
    def.name.clear();
    def.rest = npos;
    def.collector.clear();
    def.depth = 0;
    def.in_quote = false;
    def.quote_char = 0;
    def.text.clear();
    def.body = nullptr;
}

std::size_t find_orvel(std::string_view s, std::size_t from) {
    // Looks eight bytes at a time for an 'o' or 'O' (the only bytes that
    // become 'o' when the 0x20 bit is set); only those are compared fully.
    const std::size_t n = s.size();
    if (n < 5) return npos;
    const char *p = s.data();
    const std::size_t last = n - 5;  // last position an occurrence can start
    std::size_t i = from;
    while (i + 8 <= last + 1) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (has_zero((word | repeat(0x20)) ^ repeat('o'))) {
            for (std::size_t k = 0; k < 8; ++k)
                if ((p[i + k] | 0x20) == 'o' && is_rvel(p + i + k + 1)) return i + k;
        }
        i += 8;
    }
    for (; i <= last; ++i)
        if ((p[i] | 0x20) == 'o' && is_rvel(p + i + 1)) return i;
    return npos;
}

std::size_t get_tag_start(std::string_view line, std::size_t &name_start) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = find_orvel(line, from);
        if (at == npos) return npos;
        if (at + 5 >= line.size() || (line[at + 5] != '_' && line[at + 5] != '-')) {
            from = at + 1;
            continue;
        }
        // Nothing can stand before a name found where the search began.
        if (at == 0) return npos;
        const std::size_t start = line[at - 1] == '/' ? at - 1 : at;
        std::size_t back = start;
        while (back > 0 && is_space(line[back - 1])) --back;
        if (back > 0 && line[back - 1] == OVML_Tag_Open) {
            name_start = start;
            return back - 1;
        }
        from = start + 6;
    }
}

std::size_t get_tagname_end(std::string_view line, std::size_t name_start) {
    for (std::size_t i = name_start; i < line.size(); ++i)
        if (is_space(line[i]) || line[i] == OVML_Tag_Close) return i;
    return npos;
}

int get_tag_def(std::string_view line, TagDef &def) {
    std::size_t pos = 0;
    if (def.depth == 0) {
        std::size_t name_start = 0;
        const std::size_t start = get_tag_start(line, name_start);
        if (start == npos) return 0;
        const std::size_t name_end = get_tagname_end(line, name_start);
        if (name_end == npos) return 0;
        def.leading_text.assign(line.substr(0, start));
        def.has_leading = start > 0;
        def.name.assign(line.substr(name_start, name_end - name_start));
        def.collector.clear();
        def.text.clear();
        def.rest = npos;
        def.in_quote = false;
        def.quote_char = 0;
        def.depth = 1;
        pos = name_start;
    }
    const char open = OVML_Tag_Open, close = OVML_Tag_Close;
    const std::size_t from = pos;
    for (; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (def.in_quote) {
            if (c == def.quote_char) def.in_quote = false;
        } else if (c == '\'' || c == '"') {
            def.in_quote = true;
            def.quote_char = c;
        } else if (c == close) {
            if (--def.depth == 0) break;
        } else if (c == open) {
            ++def.depth;
        }
    }
    // Every character scanned while the tag stayed open belongs to its text.
    def.collector.append(line.substr(from, pos - from));
    if (def.depth > 0) return def.depth;

    const std::size_t rest = pos + 1;
    const std::string_view after = line.substr(rest);
    const bool only_breaks = !after.empty() && after.find_first_not_of("\r\n") == npos;
    def.rest = only_breaks ? npos : rest;
    def.text = std::move(def.collector);
    def.collector.clear();
    return -1;
}
