// Where product records come from: the wanted set that fill_products
// hands around, the products file (its line reader and the scan that loads
// wanted records), the character-delimited table, the custom source
// (plug-ins and the MY_PRODUCTS script), and the steps that adjust loaded
// records (tweaks and OVML_PRODUCT_FIELDS).
#pragma once

#include <orvel.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The SKUIDs one fill_products call still has to load.  `names` is the
// dictionary "[FILTERED_PRODUCTS]": one integer per SKUID, 1 while wanted
// and 0 once found, in the order the SKUIDs were added; it is what the
// plug-ins receive as REQUESTED.
class WantedSet {
public:
    WantedSet();
    ~WantedSet();
    WantedSet(const WantedSet &) = delete;
    WantedSet &operator=(const WantedSet &) = delete;

    // Adds a SKUID (once); returns true when it was new.
    bool add(std::string_view skuid);
    // True while `skuid` is in the set and not found yet.
    bool wants(std::string_view skuid) const;
    void mark_found(std::string_view skuid);
    // Marks found every entry that is loaded already (a plug-in may have
    // loaded records itself).
    void mark_loaded_found();

    int count() const { return count_; }
    int found() const { return found_; }
    bool complete() const { return found_ >= count_; }
    var *names() const { return names_; }

private:
    // A small Bloom filter over the names, so that the SKUIDs of a large
    // products file that are not wanted are mostly turned away without a
    // dictionary lookup.
    static std::uint64_t filter_hash(std::string_view skuid);
    bool may_want(std::string_view skuid) const;

    var *names_;
    int count_ = 0;
    int found_ = 0;
    std::array<std::uint64_t, 32> filter_{};
};

// For every name of the set still not loaded, in the order added: the
// optioned product when one can be derived, else a missing product.
void fill_missing_products(const WantedSet &wanted);

// ---- the products file ---------------------------------------------------

// One line of the products file: the field name (kept characters, upper
// case) and its value.
struct ProductLine {
    std::string name;
    std::string value;
};

// get_product_line results.
enum {
    PRODUCT_LINE_EOF = -1,      // end of file, nothing read
    PRODUCT_LINE_NONE = 0,      // blank line, comment or text without a field
    PRODUCT_LINE_EOF_FIELD = 1, // a field line; the file ended while its rest was skipped
    PRODUCT_LINE_FIELD = 2,     // a field line
    PRODUCT_LINE_SKUID = 3      // a SKUID line (its value upper-cased)
};

// Longest kept field name and longest value of a products-file line.
constexpr std::size_t PRODUCT_NAME_MAX = 128;
constexpr std::size_t PRODUCT_VALUE_MAX = 8192;

// Reads one line of an open products file into `out`.  With `skuid_only`
// a line whose name is not SKUID is given up at its first differing
// character (result 0).  The last line of a file is read whether or not it
// ends with a line end.
int get_product_line(FILE *file, ProductLine &out, bool skuid_only);

// Reads one record from a file positioned at a SKUID line: nullptr when the
// line is no SKUID line or that SKUID is loaded already; otherwise the new
// record with its fields up to (and consuming) the next SKUID line.
var *get_product_fp(FILE *file);

// Loads the wanted records from the products file at `path`; ends the
// request when it cannot be opened.  The file is scanned in memory; the
// first occurrence of a SKUID wins and the scan stops at the first
// unwanted SKUID line once every wanted record is found.
void read_products_file(const std::string &path, WantedSet &wanted);

// ---- the delimited table ---------------------------------------------------

// The character code PRODUCTS_FILE_DELIMITER sets (0 to 255), or -1 when
// the products file is not a delimited table.
int products_file_delimiter();
// The cells of a row, split at every delimiter.
std::vector<std::string_view> split_delimited_row(std::string_view row, char delimiter);
// The column names of the table's first line (quotes removed, upper case),
// by position; an empty name marks a column that holds no field.
std::vector<std::string> get_delimited_file_header(FILE *file, char delimiter);
// The same from the header row's text.
std::vector<std::string> delimited_header_columns(std::string_view row, char delimiter);
// A cell's text as its column holds it: surrounding double quotes dropped
// and, in the PRICE column, a leading '$'.
std::string_view delimited_cell_text(std::string_view column, std::string_view cell);
// Creates the record `skuid` from one data line of the table.
var *import_delimited_product(std::string_view line, const std::vector<std::string> &header,
                              char delimiter, std::string_view skuid);
// The delimited source: loads the wanted records when PRODUCTS_FILE_DELIMITER
// is set; false when the source does not answer.
bool do_alt_products(WantedSet &wanted);

// ---- custom sources and adjustments ----------------------------------------

// The plug-ins' plugin_read_products, then the MY_PRODUCTS script; false
// when the source does not answer.
bool do_custom_products(WantedSet &wanted);
// The plug-ins' plugin_tweak_products, the tweak rules and the
// MY_PRODUCTS_TWEAK script, for the products of `list`.
void do_custom_products_tweak(var *list);
// Replaces each field named in OVML_PRODUCT_FIELDS of the loaded products of
// `list` by its OVML rendering, with the product current.
void maybe_ovmlify_products(var *list);
