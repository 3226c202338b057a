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
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Character classes of the value normaliser.
enum : unsigned char { CHAR_OTHER = 0, CHAR_LETTER, CHAR_DIGIT, CHAR_SPACE };

constexpr std::array<unsigned char, 256> char_classes() {
    std::array<unsigned char, 256> table{};
    for (int c = 'A'; c <= 'Z'; ++c) table[c] = CHAR_LETTER;
    for (int c = 'a'; c <= 'z'; ++c) table[c] = CHAR_LETTER;
    for (int c = '0'; c <= '9'; ++c) table[c] = CHAR_DIGIT;
    table['.'] = CHAR_DIGIT;
    for (unsigned char c : {' ', '\t', '\v', '\f', '\n', '\r'}) table[c] = CHAR_SPACE;
    return table;
}
constexpr std::array<unsigned char, 256> CLASSES = char_classes();

char upper_ascii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The field name of a raw line (without its line end): letters and digits
// upper-cased, '-' and '_' kept, other characters skipped, up to the first
// colon.  False for a line without a field: a "#" before the colon, no
// colon, or more than SEARCH_NAME_MAX name characters.  `value_at` is the
// position after the colon.
bool parse_name(std::string_view raw, std::string &name, std::size_t &value_at) {
    name.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == ':') {
            value_at = i + 1;
            return true;
        }
        if (c == '#') return false;
        const unsigned char cls = CLASSES[static_cast<unsigned char>(c)];
        if ((cls == CHAR_LETTER || (cls == CHAR_DIGIT && c != '.')) || c == '-' || c == '_') {
            if (name.size() >= SEARCH_NAME_MAX) return false;
            name += upper_ascii(c);
        }
    }
    return false;
}

// Normalises a raw value into `line`.  Letters are upper-cased, digits and
// '.' kept.  In keep mode blanks at the start are dropped and every other
// character is kept; in squeeze mode blanks and every other character are
// dropped.  Anything but digits and '.' (and squeezed blanks) makes the
// value text rather than a number.  With `comments` an unescaped "#" ends
// the value.
void normalise_value(std::string_view raw, bool keep, bool comments, bool id, SearchLine &line) {
    std::string &text = line.text;
    text.clear();
    bool non_numeric = false;
    bool at_start = true;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '#' && comments && !(i > 0 && raw[i - 1] == '\\')) break;
        if (text.size() >= SEARCH_VALUE_MAX) break;
        switch (CLASSES[static_cast<unsigned char>(c)]) {
        case CHAR_LETTER:
            text += upper_ascii(c);
            non_numeric = true;
            at_start = false;
            break;
        case CHAR_DIGIT:
            text += c;
            at_start = false;
            break;
        case CHAR_SPACE:
            if (keep) {
                non_numeric = true;
                if (!at_start) text += c;
            }
            break;
        default:
            non_numeric = true;
            if (keep) {
                text += c;
                at_start = false;
            }
            break;
        }
    }
    while (!text.empty() && CLASSES[static_cast<unsigned char>(text.back())] == CHAR_SPACE) text.pop_back();
    line.number = 0.0;
    if (id) {
        line.type = SEARCH_TYPE_TEXT;
        line.number = std::strtod(text.c_str(), nullptr);
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
        for (const SearchWord *w = spec_ ? spec_->first : nullptr; w; w = w->next)
            if (std::find(fields_.begin(), fields_.end(), w->field) == fields_.end()) fields_.emplace_back(w->field);
        table_.reserve(8193);
        table_ = "SKUID;";
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
    // its bound (a product of a thousand lines) is emptied.
    void record_field(std::string_view name) {
        if (name.empty()) return;
        if (++recorded_ % 10 == 0 && table_.size() > 7936) {
            overror("warning! resetting search field table.");
            table_.clear();
        }
        table_ += name;
        table_ += ';';
    }

    void start_product(std::string_view id, std::size_t offset) {
        finish_product();
        rank_ = 0;
        excluded_ = false;
        offset_ = offset;
        table_ = "SKUID;";
        id_.assign(id.substr(0, SEARCH_ID_MAX));
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
        if (rank_ <= 0 || id_.empty() || maybe_exclude_match(table_, spec_)) return;
        list_append(query_->ids, create_value(TYPE_STRING, dup_cstring(id_)));
        list_append(query_->ranks, create_value(TYPE_INTEGER, rank_));
        ++matches_;
        if (load_pages_ && matches_ <= query_->page_size) load_product();
    }

    int matches() const { return matches_; }

private:
    // Loads the product whose id line is at offset_ into DICT_PRODUCTS
    // with the products loader.
    void load_product() {
        if (offset_ >= data_.size()) return;
        FILE *in = fmemopen(const_cast<char *>(data_.data() + offset_), data_.size() - offset_, "r");
        if (!in) return;
        get_product_fp(in);
        std::fclose(in);
    }

    SearchQuery *query_;
    SearchSpec *spec_;
    std::string_view data_;
    bool load_pages_;
    std::vector<std::string> fields_;
    std::string table_;
    unsigned recorded_ = 0;
    std::string id_;
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

// The products-file form: field lines, a product-id line beginning each
// product.  Returns the offset of the last line read.
std::size_t scan_field_lines(std::string_view data, SearchQuery *query, Scan &scan) {
    const bool word_mode = query->word_mode != 0;
    LineEnds ends(data);
    SearchLine line;
    std::size_t pos = 0, last = 0;
    while (scan.more() && pos < data.size()) {
        const std::size_t end = ends.next(pos);
        const std::string_view raw = data.substr(pos, end - pos);
        last = pos;
        pos = end < data.size() ? end + 1 : data.size();
        std::size_t value_at = 0;
        if (!parse_name(raw, line.field, value_at)) continue;
        const bool id = is_search_id_field(line.field);
        const bool wanted = scan.wants(line.field);
        if (id || wanted) normalise_value(raw.substr(value_at), word_mode || id, true, id, line);
        scan.record_field(line.field);
        if (id) scan.start_product(line.text, last);
        if (wanted) scan.score(line);
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
        scan.start_product(id, last);
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

// The bytes of an open file from its current position to its end.
struct FileText {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
};

FileText read_rest(FILE *file) {
    FileText out;
    std::size_t capacity = 65536;
    struct stat st {};
    const long at = std::ftell(file);
    if (::fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode) && at >= 0 && st.st_size > at)
        capacity = static_cast<std::size_t>(st.st_size - at) + 1;
    out.data = std::make_unique_for_overwrite<char[]>(capacity);
    for (;;) {
        if (out.size == capacity) {
            // The file grew, or is no regular file: make room and go on.
            auto bigger = std::make_unique_for_overwrite<char[]>(capacity * 2);
            std::memcpy(bigger.get(), out.data.get(), out.size);
            out.data = std::move(bigger);
            capacity *= 2;
        }
        const std::size_t n = std::fread(out.data.get() + out.size, 1, capacity - out.size, file);
        if (n == 0) break;
        out.size += n;
    }
    return out;
}

}  // namespace

bool is_search_id_field(std::string_view name) {
    if (name.empty() || name.front() != 'S') return false;
    constexpr std::string_view rest = "KUID";
    std::size_t next = 0;
    for (std::size_t i = 1; i < name.size() && next < rest.size(); ++i)
        if (name[i] == rest[next]) ++next;
    return next == rest.size();
}

int get_search_line(FILE *file, SearchLine &line, bool word_mode) {
    std::string raw;
    int c;
    while ((c = getc_unlocked(file)) != EOF && c != '\n' && c != '\r') raw += static_cast<char>(c);
    if (c == EOF && raw.empty()) return SEARCH_LINE_EOF;
    std::size_t value_at = 0;
    if (!parse_name(raw, line.field, value_at)) {
        line.text.clear();
        line.type = SEARCH_TYPE_NONE;
        line.number = 0.0;
        return SEARCH_LINE_NONE;
    }
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
    const FileText text = read_rest(file);
    return search_products_text(std::string_view(text.data.get(), text.size), query, products_file_delimiter(),
                                at > 0 ? static_cast<unsigned>(at) : 0);
}

int doSearch(SearchQuery *query) {
    const std::string path = get_products_file_pathname_readonly();
    FILE *file = std::fopen(path.c_str(), "r");
    if (!file) cgidie("Failed to open products file (%s) for searching.", quote_html_specials(path).c_str());
    const int n = doSearch_fp(file, query);
    std::fclose(file);
    return n;
}
