// The products file: its line reader and the scan that loads the wanted
// records.  One line reader serves both an open FILE (get_product_line,
// get_product_fp) and the whole file held in memory (read_products_file),
// so the fast scan and the line-by-line reading cannot disagree.
#include "catalog/product_sources.h"

#include "catalog/products.h"
#include "catalog/selection.h"
#include "platform/errors.h"
#include "vars/vars.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view SKUID_NAME = "SKUID";

// ---- byte sources --------------------------------------------------------

// Characters kept in a field name.
bool is_name_char(int c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

// Bytes of an open file.
class FileBytes {
public:
    explicit FileBytes(FILE *file) : file_(file) {}
    int get() { return getc_unlocked(file_); }
    // Value characters are taken one at a time.
    void append_plain(std::string &, std::size_t) {}
    void unget(int c) { ungetc(c, file_); }
    // Skips past the next line end; false when the file ended first.
    bool skip_line()
    {
        for (;;) {
            const int c = getc_unlocked(file_);
            if (c == EOF) return false;
            if (c == '\n' || c == '\r') return true;
        }
    }

private:
    FILE *file_;
};

// Bytes of a file held in memory.  Skipping a line jumps to the next LF or
// CR with memchr; the position of the next of each is remembered, so a
// file that holds only one kind of line end is searched for the other once.
// The same is done for the letter K when looking for the next SKUID line.
class MemoryBytes {
public:
    MemoryBytes(const char *data, std::size_t size)
        : data_(data), size_(size), next_lf_(find(0, '\n')), next_cr_(find(0, '\r')),
          next_upper_k_(find(0, 'K')), next_lower_k_(find(0, 'k'))
    {
    }
    int get() { return pos_ < size_ ? static_cast<unsigned char>(data_[pos_++]) : EOF; }
    void unget(int) { --pos_; }
    // Appends the run of value characters that need no attention (no line
    // end, "#" or backslash), at most `room` of them.
    void append_plain(std::string &out, std::size_t room)
    {
        std::size_t end = pos_;
        const std::size_t limit = pos_ + std::min(room, size_ - pos_);
        while (end < limit) {
            const char c = data_[end];
            if (c == '\n' || c == '\r' || c == '#' || c == '\\') break;
            ++end;
        }
        out.append(data_ + pos_, end - pos_);
        pos_ = end;
    }
    bool skip_line()
    {
        if (next_lf_ < pos_) next_lf_ = find(pos_, '\n');
        if (next_cr_ < pos_) next_cr_ = find(pos_, '\r');
        const std::size_t end = std::min(next_lf_, next_cr_);
        if (end >= size_) {
            pos_ = size_;
            return false;
        }
        pos_ = end + 1;
        return true;
    }

    // Moves to the start of the next line, at or after the current one,
    // whose name could be SKUID; false when there is none.  A SKUID line
    // holds a K (either case) whose only kept name character before it on
    // the line is one S, with no colon or "#" in between.  Each K of the
    // file is looked at by walking back from it; a line passed over would
    // have been read as a line without a field in SKUID-only mode.
    bool seek_skuid_candidate()
    {
        std::size_t from = std::max(search_from_, pos_);
        for (;;) {
            if (next_upper_k_ < from) next_upper_k_ = find(from, 'K');
            if (next_lower_k_ < from) next_lower_k_ = find(from, 'k');
            const std::size_t hit = std::min(next_upper_k_, next_lower_k_);
            if (hit >= size_) {
                pos_ = size_;
                return false;
            }
            from = hit + 1;
            search_from_ = from;
            std::size_t start = pos_;  // the current position is a line start
            bool seen_s = false, possible = true;
            for (std::size_t i = hit; i > pos_;) {
                const char c = data_[--i];
                if (c == '\n' || c == '\r') {
                    start = i + 1;
                    break;
                }
                if (c == ':' || c == '#' || (is_name_char(c) && (seen_s || (c != 'S' && c != 's')))) {
                    possible = false;
                    break;
                }
                if (c == 'S' || c == 's') seen_s = true;
            }
            if (possible && seen_s) {
                pos_ = start;
                return true;
            }
        }
    }

private:
    std::size_t find(std::size_t from, char c) const
    {
        if (from >= size_) return size_;
        const void *hit = std::memchr(data_ + from, c, size_ - from);
        return hit ? static_cast<std::size_t>(static_cast<const char *>(hit) - data_) : size_;
    }

    const char *data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::size_t next_lf_;
    std::size_t next_cr_;
    std::size_t next_upper_k_;
    std::size_t next_lower_k_;
    std::size_t search_from_ = 0;  // where the next K is looked for
};

// ---- the line reader -------------------------------------------------------

char upper_ascii(int c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); }

// Skips the rest of the line and answers that it held no field.
template <class Bytes>
int no_field(Bytes &in)
{
    in.skip_line();
    return PRODUCT_LINE_NONE;
}

template <class Bytes>
int read_product_line(Bytes &in, ProductLine &out, bool skuid_only)
{
    out.name.clear();
    out.value.clear();

    // The name: kept characters up to the colon.  In SKUID-only mode they
    // are only matched against SKUID.
    bool read_any = false;
    std::size_t kept = 0;
    for (;;) {
        const int c = in.get();
        if (c == EOF) return read_any ? PRODUCT_LINE_NONE : PRODUCT_LINE_EOF;
        read_any = true;
        if (c == '\n' || c == '\r') return PRODUCT_LINE_NONE;
        if (c == '#') return no_field(in);
        if (c == ':') break;
        if (!is_name_char(c)) continue;
        const char up = upper_ascii(c);
        if (skuid_only) {
            if (kept >= SKUID_NAME.size() || SKUID_NAME[kept] != up) return no_field(in);
        } else {
            if (kept >= PRODUCT_NAME_MAX) return no_field(in);
            out.name += up;
        }
        ++kept;
    }
    if (skuid_only) {
        if (kept != SKUID_NAME.size()) return no_field(in);
        out.name = SKUID_NAME;
    }
    if (out.name.empty()) return no_field(in);
    const bool skuid = out.name == SKUID_NAME;

    // The value: blanks skipped, up to the line end or an unescaped "#".
    int c = in.get();
    while (c == ' ' || c == '\t')
        c = in.get();
    bool skip_rest = false;
    if (c != EOF) in.unget(c);
    for (;;) {
        in.append_plain(out.value, PRODUCT_VALUE_MAX - std::min(out.value.size(), PRODUCT_VALUE_MAX));
        c = in.get();
        if (c == EOF || c == '\n' || c == '\r') break;
        if (c == '#') {
            skip_rest = true;
            break;
        }
        if (c == '\\') {
            const int next = in.get();
            if (next == '#') c = '#';
            else if (next != EOF) in.unget(next);
        }
        if (out.value.size() >= PRODUCT_VALUE_MAX) {
            skip_rest = true;
            break;
        }
        out.value += static_cast<char>(c);
    }
    while (!out.value.empty() && (out.value.back() == ' ' || out.value.back() == '\t'))
        out.value.pop_back();
    if (skuid) {
        for (char &ch : out.value)
            ch = upper_ascii(static_cast<unsigned char>(ch));
        if (skip_rest) in.skip_line();
        return PRODUCT_LINE_SKUID;
    }
    if (skip_rest && !in.skip_line()) return PRODUCT_LINE_EOF_FIELD;
    return PRODUCT_LINE_FIELD;
}

// Stores one field line in a record; a later line of the same name
// replaces the earlier value in place.
void store_field(var *record, const ProductLine &line)
{
    if (line.value.empty()) set_none(record, line.name);
    else set_string(record, line.name, line.value);
}

// A new record for a SKUID read from the file, with the fields the loader
// adds before the file's own.
var *start_record(const std::string &skuid)
{
    var *record = new_product(skuid);
    set_string(record, "SKUID", skuid);
    set_integer(record, "QUANTITY", get_selected_quantity(skuid));
    return record;
}

// The products file's bytes, read whole.  (Reading beats mapping here: a
// mapped file pays a page fault for every few pages it touches, which on
// virtual machines costs more than the copy.)
class FileContents {
public:
    explicit FileContents(int fd)
    {
        struct stat st {};
        std::size_t capacity = 65536;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
            capacity = static_cast<std::size_t>(st.st_size) + 1;
        data_ = std::make_unique_for_overwrite<char[]>(capacity);
        for (;;) {
            if (size_ == capacity) {
                // The file grew, or is no regular file: make room and go on.
                auto bigger = std::make_unique_for_overwrite<char[]>(capacity * 2);
                std::memcpy(bigger.get(), data_.get(), size_);
                data_ = std::move(bigger);
                capacity *= 2;
            }
            const ssize_t n = ::read(fd, data_.get() + size_, capacity - size_);
            if (n <= 0) break;
            size_ += static_cast<std::size_t>(n);
        }
    }
    const char *data() const { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

int get_product_line(FILE *file, ProductLine &out, bool skuid_only)
{
    FileBytes in(file);
    return read_product_line(in, out, skuid_only);
}

var *get_product_fp(FILE *file)
{
    ProductLine line;
    if (get_product_line(file, line, true) != PRODUCT_LINE_SKUID) return nullptr;
    if (get_product(line.value)) return nullptr;
    var *record = start_record(line.value);
    for (;;) {
        const int r = get_product_line(file, line, false);
        if (r == PRODUCT_LINE_EOF || r == PRODUCT_LINE_SKUID) break;
        if (r == PRODUCT_LINE_NONE) continue;
        store_field(record, line);
        if (r == PRODUCT_LINE_EOF_FIELD) break;
    }
    return record;
}

void read_products_file(const std::string &path, WantedSet &wanted)
{
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) cgidie("The products file (%s) could not be opened.", path.c_str());
    const FileContents contents(fd.get());
    MemoryBytes in(contents.data(), contents.size());

    ProductLine line;
    var *record = nullptr;  // the wanted record being filled
    for (;;) {
        if (!record && !in.seek_skuid_candidate()) break;
        const int r = read_product_line(in, line, record == nullptr);
        if (r == PRODUCT_LINE_EOF) break;
        if (r == PRODUCT_LINE_NONE) continue;
        if (r == PRODUCT_LINE_SKUID) {
            if (wanted.wants(line.value)) {
                record = start_record(line.value);
                wanted.mark_found(line.value);
            } else {
                record = nullptr;
                if (wanted.complete()) break;
            }
            continue;
        }
        if (record) store_field(record, line);
        if (r == PRODUCT_LINE_EOF_FIELD) break;
    }
}
