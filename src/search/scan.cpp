// The search scanner.  The products text is read into memory once and
// walked line by line; each field line's name is read, and its value is
// normalised and scored only when the query has terms on that field (or
// the line begins a product).  A product's line scores add up to its rank;
// at the next product-id line (or the end) the product is a match when its
// rank is positive, nothing excluded it and it has an id.
#include "search/scan.h"

#include "catalog/product_sources.h"
#include "catalog/products.h"
#include "ext/plugins.h"
#include "platform/errors.h"
#include "platform/log.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool is_search_id_field(std::string_view name) {
    if (name.empty() || name.front() != 'S') return false;
    constexpr std::string_view rest = "KUID";
    std::size_t next = 0;
    for (std::size_t i = 1; i < name.size() && next < rest.size(); ++i)
        if (name[i] == rest[next]) ++next;
    return next == rest.size();
}

namespace {

// Byte tables of the line reader: the upper-case form of each byte, and
// what each byte does in a field name and in a value.
struct ByteTables {
    std::array<char, 256> upper{};
    std::array<unsigned char, 256> name{};         // NAME_* below
    // Per byte: its upper-case form in the low 8 bits, then 1 << 8 when it
    // is kept in squeeze mode, 1 << 9 when it makes a squeezed value text
    // and 1 << 10 when it makes a kept value text.
    std::array<std::uint16_t, 256> value{};
    std::array<unsigned char, 256> space{};
};
constexpr unsigned SQUEEZE_KEEP_SHIFT = 8, SQUEEZE_TEXT_SHIFT = 9, KEEP_TEXT_SHIFT = 10;
enum : unsigned char { NAME_SKIP = 0, NAME_KEEP, NAME_COLON, NAME_STOP };

constexpr ByteTables make_tables() {
    ByteTables t{};
    for (int c = 0; c < 256; ++c) {
        const bool lower = c >= 'a' && c <= 'z';
        const bool letter = lower || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        const bool space = c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\n' || c == '\r';
        t.upper[c] = static_cast<char>(lower ? c - 'a' + 'A' : c);
        t.name[c] = (letter || digit || c == '-' || c == '_') ? NAME_KEEP
                    : c == ':'                                 ? NAME_COLON
                    : (c == '#' || c == '\n' || c == '\r')   ? NAME_STOP
                                                               : NAME_SKIP;
        const unsigned squeeze_keep = letter || digit || c == '.';
        const unsigned squeeze_text = !(digit || c == '.' || space);
        const unsigned keep_text = !(digit || c == '.');
        t.value[c] = static_cast<std::uint16_t>(static_cast<unsigned char>(t.upper[c]) |
                                                squeeze_keep << SQUEEZE_KEEP_SHIFT |
                                                squeeze_text << SQUEEZE_TEXT_SHIFT | keep_text << KEEP_TEXT_SHIFT);
        t.space[c] = space;
    }
    return t;
}
constexpr ByteTables BYTES = make_tables();

unsigned char byte_of(char c) { return static_cast<unsigned char>(c); }

// Reads a field name from `p`: letters and digits upper-cased, '-' and '_'
// kept, other characters skipped, up to the first colon.  Returns where
// reading stopped: at the colon (`found` set, the name left in `kept`,
// `length` characters), or, for a line without a field, at the line end,
// the "#" before any colon, the name character past SEARCH_NAME_MAX, or
// `end`.
const char *read_name(const char *p, const char *end, char (&kept)[SEARCH_NAME_MAX], std::size_t &length,
                      bool &found) {
    std::size_t n = 0;
    found = false;
    for (; p < end; ++p) {
        const unsigned char c = byte_of(*p);
        const unsigned char kind = BYTES.name[c];
        if (kind == NAME_KEEP) {
            if (n == SEARCH_NAME_MAX) return p;
            kept[n++] = BYTES.upper[c];
        } else if (kind == NAME_COLON) {
            length = n;
            found = true;
            return p;
        } else if (kind == NAME_STOP) {
            return p;
        }
    }
    return p;
}

// Normalises a raw value into `line`.  Letters are upper-cased, digits and
// '.' kept.  In keep mode blanks at the start are dropped and every other
// character is kept; in squeeze mode blanks and every other character are
// dropped.  Anything but digits and '.' (and squeezed blanks) makes the
// value text rather than a number.  With `comments` an unescaped "#" ends
// the value.  At most SEARCH_VALUE_MAX characters are kept.  A product id
// is always text; its number is read only when `id_number` is set.
void normalise_value(std::string_view raw, bool keep, bool comments, bool id, SearchLine &line,
                     bool id_number = true) {
    if (comments) {
        for (std::size_t hash = raw.find('#'); hash != npos; hash = raw.find('#', hash + 1)) {
            if (hash == 0 || raw[hash - 1] != '\\') {
                raw = raw.substr(0, hash);
                break;
            }
        }
    }
    std::size_t i = 0;
    unsigned non_numeric = 0;
    if (keep) {
        while (i < raw.size() && BYTES.space[byte_of(raw[i])]) ++i;
        non_numeric = i > 0;
    }
    std::string &text = line.text;
    text.resize(std::min(raw.size() - i, SEARCH_VALUE_MAX));
    char *out = text.data();
    const std::size_t room = text.size();
    std::size_t n = 0;
    if (keep) {
        for (; i < raw.size() && n < room; ++i) {
            const unsigned v = BYTES.value[byte_of(raw[i])];
            out[n++] = static_cast<char>(v);
            non_numeric |= v >> KEEP_TEXT_SHIFT;
        }
        while (n > 0 && BYTES.space[byte_of(out[n - 1])]) --n;
    } else {
        for (; i < raw.size() && n < room; ++i) {
            const unsigned v = BYTES.value[byte_of(raw[i])];
            out[n] = static_cast<char>(v);
            n += (v >> SQUEEZE_KEEP_SHIFT) & 1;
            non_numeric |= v >> SQUEEZE_TEXT_SHIFT;
        }
        non_numeric &= 1;
    }
    text.resize(n);
    line.number = 0.0;
    if (id) {
        line.type = SEARCH_TYPE_TEXT;
        if (id_number) line.number = std::strtod(text.c_str(), nullptr);
    } else if (text.empty()) {
        line.type = SEARCH_TYPE_NONE;
    } else if (!non_numeric && is_numeric(text)) {
        line.type = SEARCH_TYPE_NUMERIC;
        line.number = std::strtod(text.c_str(), nullptr);
    } else {
        line.type = SEARCH_TYPE_TEXT;
    }
}

// Per-product state and the match lists of one scan.
class Scan {
public:
    Scan(SearchQuery *query, std::string_view data, bool load_pages)
        : query_(query), spec_(query->spec), data_(data), load_pages_(load_pages) {
        for (const SearchWord *w = spec_ ? spec_->first : nullptr; w; w = w->next) {
            if (std::find(fields_.begin(), fields_.end(), w->field) == fields_.end()) fields_.emplace_back(w->field);
            keep_names_ = keep_names_ || w->logic == '+';
        }
        reset_table();
    }

    // Whether another line may be read: below the match limit, and below
    // the page size unless every match is collected.
    bool more() const {
        return matches_ < query_->most_matches && (query_->collect_all || matches_ < query_->page_size);
    }
    // Whether the query has terms on this field.
    bool wants(std::string_view field) const {
        for (const std::string &f : fields_)
            if (f == field) return true;
        return false;
    }

    // Adds a field name to the product's field table; a table grown past
    // its bound (a product of a thousand lines) is emptied.  Only required
    // terms look at the names, so without one only the length is kept.
    void record_field(std::string_view name) {
        if (name.empty()) return;
        if (--until_check_ == 0) {
            until_check_ = 10;
            if (table_length_ > TABLE_RESET) {
                overror("warning! resetting search field table.");
                table_length_ = 0;
            }
        }
        if (!keep_names_) {
            table_length_ += name.size() + 1;
            return;
        }
        // Past the bound the table keeps what fits until its next check.
        if (table_length_ + name.size() + 1 > table_.size()) return;
        std::memcpy(table_.data() + table_length_, name.data(), name.size());
        table_length_ += name.size();
        table_[table_length_++] = ';';
    }

    // Begins a product at `offset`.  Its id is taken from `id` only when
    // the product turns out to be a match: as it stands, or as the raw
    // value of a products-file id line to be normalised.
    void start_product(std::string_view id, bool raw, std::size_t offset) {
        finish_product();
        rank_ = 0;
        excluded_ = false;
        offset_ = offset;
        reset_table();
        id_ = id;
        raw_id_ = raw;
        clear_found_switches(spec_);
    }

    void score(const SearchLine &line) {
        if (excluded_) return;
        const int s = match_line(line, spec_);
        if (s < 0) {
            rank_ = 0;
            excluded_ = true;
        } else {
            rank_ += s;
        }
    }

    void finish_product() {
        if (rank_ <= 0) return;
        std::string_view id = id_;
        if (raw_id_) {
            normalise_value(id_, true, true, true, id_line_, false);
            id = id_line_.text;
        }
        id = id.substr(0, SEARCH_ID_MAX);
        const std::string_view table = keep_names_ ? std::string_view(table_.data(), table_length_) : std::string_view();
        if (id.empty() || maybe_exclude_match(table, spec_)) return;
        append(query_->ids, create_value(TYPE_STRING, dup_cstring(id)));
        append(query_->ranks, create_value(TYPE_INTEGER, rank_));
        ++matches_;
        if (load_pages_ && matches_ <= query_->page_size) load_product();
    }

    int matches() const { return matches_; }

private:
    // Appends to a match list, doubling its room as it fills (a list grows
    // by a few slots at a time by itself, which costs a copy of the whole
    // list every few matches of a common word).
    static void append(list *l, value *val) {
        if (l->count + 1 >= l->capacity) grow_list(l, std::max(16, l->capacity * 2));
        list_append(l, val);
    }

    // Loads the product whose id line is at offset_ into DICT_PRODUCTS
    // with the products loader.
    void load_product() {
        if (offset_ >= data_.size()) return;
        FILE *in = fmemopen(const_cast<char *>(data_.data() + offset_), data_.size() - offset_, "r");
        if (!in) return;
        get_product_fp(in);
        std::fclose(in);
    }

    void reset_table() {
        std::memcpy(table_.data(), "SKUID;", 6);
        table_length_ = 6;
    }

    SearchQuery *query_;
    SearchSpec *spec_;
    std::string_view data_;
    bool load_pages_;

    // The field table: it is checked every tenth name and emptied when it
    // holds more than TABLE_RESET characters; nine names of the longest
    // kind fit after that.
    static constexpr std::size_t TABLE_RESET = 7936;
    std::vector<std::string> fields_;
    std::array<char, TABLE_RESET + 10 * (SEARCH_NAME_MAX + 1)> table_;
    std::size_t table_length_ = 0;
    unsigned until_check_ = 10;  // names to record before the next size check
    bool keep_names_ = false;
    std::string_view id_;
    bool raw_id_ = false;
    SearchLine id_line_;
    std::size_t offset_ = 0;
    int rank_ = 0;
    bool excluded_ = false;
    int matches_ = 0;
};

// Finds the next line end (LF or CR) from `from`, remembering where the
// next of each lies so that a file with one kind of line end is searched
// for the other only once.
class LineEnds {
public:
    explicit LineEnds(std::string_view data) : data_(data) {}
    std::size_t next(std::size_t from) {
        if (lf_ < from || lf_ == UNSET) lf_ = find(from, '\n');
        if (cr_ < from || cr_ == UNSET) cr_ = find(from, '\r');
        return std::min(lf_, cr_);
    }

private:
    static constexpr std::size_t UNSET = static_cast<std::size_t>(-1);
    std::size_t find(std::size_t from, char c) const {
        if (from >= data_.size()) return data_.size();
        const void *hit = std::memchr(data_.data() + from, c, data_.size() - from);
        return hit ? static_cast<std::size_t>(static_cast<const char *>(hit) - data_.data()) : data_.size();
    }
    std::string_view data_;
    std::size_t lf_ = UNSET;
    std::size_t cr_ = UNSET;
};

// Field names as they were last written at the start of a line, with
// what they parse to.  A products file writes the same few names over and
// over; a line that begins with the very bytes of a name already read
// (colon included) has that name, so it is not read again.
class KnownNames {
public:
    struct Entry {
        unsigned char raw_length = 0;  // 0: empty
        unsigned char length = 0;
        bool id = false;
        bool wanted = false;
        std::array<char, 32> raw{};
        std::array<char, 32> name{};
        std::string_view field() const { return {name.data(), length}; }
    };

    // The entry whose bytes begin the line at `p`, or nullptr.
    const Entry *find(const char *p, const char *end) const {
        if (end - p < 2) return nullptr;
        const Entry &e = slots_[slot(p)];
        if (e.raw_length == 0 || end - p < e.raw_length || !same_bytes(p, e.raw.data(), e.raw_length)) return nullptr;
        return &e;
    }
    // Remembers a name read from `p` up to its colon at `colon`.
    const Entry &add(const char *p, const char *colon, std::string_view field, bool wanted) {
        const std::size_t raw_length = static_cast<std::size_t>(colon - p) + 1;
        if (raw_length < 2 || raw_length > 32) {
            // Too short to index or too long to keep: a one-off entry.
            scratch_ = make(p, 0, field, wanted);
            return scratch_;
        }
        return slots_[slot(p)] = make(p, raw_length, field, wanted);
    }

private:
    // Compares n (2 to 32) bytes a word at a time, the last word
    // overlapping the one before it; nothing outside the n bytes is read.
    static bool same_bytes(const char *a, const char *b, std::size_t n) {
        if (n < 8) {
            if (n < 4) return a[0] == b[0] && a[1] == b[1] && a[n - 1] == b[n - 1];
            return load<std::uint32_t>(a) == load<std::uint32_t>(b) &&
                   load<std::uint32_t>(a + n - 4) == load<std::uint32_t>(b + n - 4);
        }
        for (std::size_t i = 0; i + 8 < n; i += 8)
            if (load<std::uint64_t>(a + i) != load<std::uint64_t>(b + i)) return false;
        return load<std::uint64_t>(a + n - 8) == load<std::uint64_t>(b + n - 8);
    }
    template <class Word>
    static Word load(const char *p) {
        Word w;
        std::memcpy(&w, p, sizeof w);
        return w;
    }

    static std::size_t slot(const char *p) {
        return (static_cast<unsigned char>(p[0]) * 31u + static_cast<unsigned char>(p[1])) % 64;
    }
    static Entry make(const char *p, std::size_t raw_length, std::string_view field, bool wanted) {
        Entry e;
        e.raw_length = static_cast<unsigned char>(raw_length);
        std::memcpy(e.raw.data(), p, raw_length);
        // A name fits whenever its raw form does (the name is at most the
        // raw bytes before the colon).
        if (field.size() <= e.name.size()) {
            std::memcpy(e.name.data(), field.data(), field.size());
            e.length = static_cast<unsigned char>(field.size());
        }
        e.id = is_search_id_field(field);
        e.wanted = wanted;
        return e;
    }

    std::array<Entry, 64> slots_{};
    Entry scratch_;
};

// The products-file form: field lines, a product-id line beginning each
// product.  Returns the offset of the last line read.
std::size_t scan_field_lines(std::string_view data, SearchQuery *query, Scan &scan) {
    const bool word_mode = query->word_mode != 0;
    LineEnds ends(data);
    KnownNames known;
    SearchLine line;
    char name[SEARCH_NAME_MAX];
    const char *const begin = data.data();
    const char *const end = begin + data.size();
    const char *p = begin;
    std::size_t last = 0;
    while (scan.more() && p < end) {
        last = static_cast<std::size_t>(p - begin);
        const KnownNames::Entry *entry = known.find(p, end);
        std::size_t value_at;
        std::string_view field;
        if (entry) {
            value_at = last + entry->raw_length;
            field = entry->field();
        } else {
            std::size_t length = 0;
            bool found = false;
            const char *stop = read_name(p, end, name, length, found);
            if (!found) {
                // No field: go past the line end (which may be where the
                // name stopped).
                if (stop < end && (*stop == '\n' || *stop == '\r')) p = stop + 1;
                else p = begin + std::min(ends.next(static_cast<std::size_t>(stop - begin)) + 1, data.size());
                continue;
            }
            field = std::string_view(name, length);
            entry = &known.add(p, stop, field, scan.wants(field));
            value_at = static_cast<std::size_t>(stop - begin) + 1;
        }
        const std::size_t line_end = ends.next(value_at);
        const std::string_view value = data.substr(value_at, line_end - value_at);
        p = begin + std::min(line_end + 1, data.size());

        scan.record_field(field);
        if (entry->id) scan.start_product(value, true, last);
        if (entry->wanted) {
            line.field = field;
            normalise_value(value, word_mode || entry->id, true, entry->id, line);
            scan.score(line);
        }
    }
    if (scan.more()) scan.finish_product();
    return last;
}

// The delimited form: a header row of column names, then one product per
// row, its id in the SKUID column.  Returns the offset of the last row
// read, or npos when the table has no SKUID column.
std::size_t scan_table_rows(std::string_view data, SearchQuery *query, Scan &scan, char delimiter) {
    std::size_t pos = data.find('\n');
    const std::vector<std::string> header =
        delimited_header_columns(data.substr(0, pos == npos ? data.size() : pos), delimiter);
    const auto skuid = std::find(header.begin(), header.end(), "SKUID");
    if (skuid == header.end()) return npos;
    const std::size_t id_column = static_cast<std::size_t>(skuid - header.begin());
    const bool word_mode = query->word_mode != 0;

    SearchLine line;
    std::size_t last = 0;
    pos = pos == npos ? data.size() : pos + 1;
    while (scan.more() && pos < data.size()) {
        std::size_t end = data.find('\n', pos);
        if (end == npos) end = data.size();
        std::string_view row = data.substr(pos, end - pos);
        last = pos;
        pos = end < data.size() ? end + 1 : data.size();
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        const std::vector<std::string_view> cells = split_delimited_row(row, delimiter);
        if (cells.size() <= id_column) continue;
        const std::string_view id = delimited_cell_text("SKUID", cells[id_column]);
        if (id.empty()) continue;
        scan.start_product(id, false, last);
        for (std::size_t i = 0; i < cells.size() && i < header.size(); ++i) {
            if (header[i].empty()) continue;
            scan.record_field(header[i]);
            if (!scan.wants(header[i])) continue;
            line.field = header[i];
            const bool is_id = i == id_column;
            normalise_value(delimited_cell_text(header[i], cells[i]), word_mode || is_id, false, is_id, line);
            scan.score(line);
        }
    }
    if (scan.more()) scan.finish_product();
    return last;
}

// The bytes of an open file from its current position to its end: the
// file mapped (and its pages faulted in at once) when it is a regular file,
// else read into memory.
class FileText {
public:
    explicit FileText(FILE *file) {
        const long at = std::ftell(file);
        struct stat st {};
        if (at >= 0 && ::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > at) {
            const long page = ::sysconf(_SC_PAGESIZE);
            const off_t start = static_cast<off_t>(at) / page * page;
            const std::size_t length = static_cast<std::size_t>(st.st_size - start);
            void *map = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fileno(file), start);
            if (map != MAP_FAILED) {
                map_ = map;
                map_length_ = length;
                data_ = static_cast<const char *>(map) + (at - start);
                size_ = static_cast<std::size_t>(st.st_size - at);
                return;
            }
        }
        read_rest(file);
    }
    ~FileText() {
        if (map_) ::munmap(map_, map_length_);
    }
    FileText(const FileText &) = delete;
    FileText &operator=(const FileText &) = delete;
    std::string_view text() const { return {data_, size_}; }

private:
    void read_rest(FILE *file) {
        std::size_t capacity = 65536;
        buffer_ = std::make_unique_for_overwrite<char[]>(capacity);
        for (;;) {
            if (size_ == capacity) {
                auto bigger = std::make_unique_for_overwrite<char[]>(capacity * 2);
                std::memcpy(bigger.get(), buffer_.get(), size_);
                buffer_ = std::move(bigger);
                capacity *= 2;
            }
            const std::size_t n = std::fread(buffer_.get() + size_, 1, capacity - size_, file);
            if (n == 0) break;
            size_ += n;
        }
        data_ = buffer_.get();
    }

    void *map_ = nullptr;
    std::size_t map_length_ = 0;
    std::unique_ptr<char[]> buffer_;
    const char *data_ = "";
    std::size_t size_ = 0;
};

}  // namespace

int get_search_line(FILE *file, SearchLine &line, bool word_mode) {
    std::string raw;
    int c;
    while ((c = getc_unlocked(file)) != EOF && c != '\n' && c != '\r') raw += static_cast<char>(c);
    if (c == EOF && raw.empty()) return SEARCH_LINE_EOF;
    char name[SEARCH_NAME_MAX];
    std::size_t length = 0;
    bool found = false;
    const char *stop = read_name(raw.data(), raw.data() + raw.size(), name, length, found);
    if (!found) {
        line.field.clear();
        line.text.clear();
        line.type = SEARCH_TYPE_NONE;
        line.number = 0.0;
        return SEARCH_LINE_NONE;
    }
    const std::size_t value_at = static_cast<std::size_t>(stop - raw.data()) + 1;
    line.field.assign(name, length);
    const bool id = is_search_id_field(line.field);
    normalise_value(std::string_view(raw).substr(value_at), word_mode || id, true, id, line);
    if (id) return SEARCH_LINE_ID;
    return c == EOF ? SEARCH_LINE_LAST : SEARCH_LINE_FIELD;
}

int search_products_text(std::string_view data, SearchQuery *query, int delimiter, unsigned base) {
    if (!query || !query->spec) return 0;
    std::size_t last = npos;
    int matches = 0;
    if (delimiter >= 0) {
        Scan scan(query, data, false);
        last = scan_table_rows(data, query, scan, static_cast<char>(delimiter));
        matches = scan.matches();
    }
    if (last == npos) {
        // Not a table with a SKUID column: read it as field lines, as the
        // products loader then does.
        Scan scan(query, data, true);
        last = scan_field_lines(data, query, scan);
        matches = scan.matches();
    }
    query->total = matches;
    query->offset = base + static_cast<unsigned>(last);
    return matches;
}

int doSearch_fp(FILE *file, SearchQuery *query) {
    if (!file || !query) return 0;
    // A plug-in may answer the search itself.
    var *args = new_var(nullptr);
    set_var(args, "QUERY", TYPE_VOID, static_cast<void *>(query));
    const int answer = poll_plugins("plugin_search", args);
    if (answer == PLUGIN_HANDLED) {
        var *held = get_var(args, "QUERY");
        auto *answered = static_cast<SearchQuery *>(held && held != args ? value_as_void(held->value) : nullptr);
        const int total = answered ? answered->total : 0;
        nuke_var(args);
        return total;
    }
    nuke_var(args);
    const long at = std::ftell(file);
    const FileText text(file);
    return search_products_text(text.text(), query, products_file_delimiter(), at > 0 ? static_cast<unsigned>(at) : 0);
}

int doSearch(SearchQuery *query) {
    const std::string path = get_products_file_pathname_readonly();
    FILE *file = std::fopen(path.c_str(), "r");
    if (!file) cgidie("Failed to open products file (%s) for searching.", quote_html_specials(path).c_str());
    const int n = doSearch_fp(file, query);
    std::fclose(file);
    return n;
}

int search_product_ids(std::string_view spec, int max_hits, var *into) {
    SearchQueryPtr query = new_search_query(spec, max_hits, false);
    if (!query) return 0;
    doSearch(query.get());
    list_into_var(query->ids, into);
    return query->ids->count;
}
