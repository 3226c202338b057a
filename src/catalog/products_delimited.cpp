// The products file as a character-delimited table: a header line of
// column names, then one product per line.  Every delimiter separates two
// cells, so empty cells keep their column; rows are read whole, whatever
// their length.
#include "catalog/product_sources.h"

#include "catalog/products.h"
#include "catalog/selection.h"
#include "config/config.h"
#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Reads one line with its line end; false at the end of the file.
bool read_row(FILE *file, std::string &row)
{
    row.clear();
    for (;;) {
        const int c = getc_unlocked(file);
        if (c == EOF) return !row.empty();
        row += static_cast<char>(c);
        if (c == '\n') return true;
    }
}

std::string_view drop_line_end(std::string_view cell)
{
    while (!cell.empty() && (cell.back() == '\n' || cell.back() == '\r'))
        cell.remove_suffix(1);
    return cell;
}

std::string_view drop_leading_quote(std::string_view cell)
{
    if (!cell.empty() && cell.front() == '"') cell.remove_prefix(1);
    return cell;
}

std::string_view drop_trailing_quote(std::string_view cell)
{
    if (!cell.empty() && cell.back() == '"') cell.remove_suffix(1);
    return cell;
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

}  // namespace

int products_file_delimiter()
{
    std::string_view text = trim_ws(config_string("PRODUCTS_FILE_DELIMITER"));
    if (text.empty() || text.size() > 3) return -1;
    int code = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        code = code * 10 + (c - '0');
    }
    return code <= 255 ? code : -1;
}

std::vector<std::string_view> split_delimited_row(std::string_view row, char delimiter)
{
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = row.find(delimiter, start);
        if (end == npos) {
            cells.push_back(row.substr(start));
            return cells;
        }
        cells.push_back(row.substr(start, end - start));
        start = end + 1;
    }
}

std::string_view delimited_cell_text(std::string_view column, std::string_view cell)
{
    cell = drop_leading_quote(cell);
    if (column == "PRICE" && !cell.empty() && cell.front() == '$') cell.remove_prefix(1);
    return drop_trailing_quote(cell);
}

std::vector<std::string> get_delimited_file_header(FILE *file, char delimiter)
{
    std::string row;
    if (!read_row(file, row)) return {};
    return delimited_header_columns(row, delimiter);
}

std::vector<std::string> delimited_header_columns(std::string_view row, char delimiter)
{
    std::vector<std::string> columns;
    for (std::string_view cell : split_delimited_row(drop_line_end(row), delimiter))
        columns.push_back(upper(drop_trailing_quote(drop_leading_quote(cell))));
    // A header of nothing but empty names names no column.
    for (const std::string &name : columns)
        if (!name.empty()) return columns;
    columns.clear();
    return columns;
}

var *import_delimited_product(std::string_view line, const std::vector<std::string> &header, char delimiter,
                              std::string_view skuid)
{
    var *record = new_product(skuid);
    if (!record) return nullptr;
    set_string(record, "SKUID", skuid);
    set_integer(record, "QUANTITY", get_selected_quantity(skuid));
    const std::vector<std::string_view> cells = split_delimited_row(drop_line_end(line), delimiter);
    for (std::size_t i = 0; i < cells.size() && i < header.size(); ++i) {
        const std::string &name = header[i];
        if (name.empty()) continue;
        std::string_view cell = drop_leading_quote(cells[i]);
        if (name == "PRICE") {
            if (!cell.empty() && cell.front() == '$') cell.remove_prefix(1);
            set_float(record, name, std::strtod(std::string(cell).c_str(), nullptr));
            continue;
        }
        cell = drop_trailing_quote(cell);
        if (cell.empty()) set_none(record, name);
        else set_string(record, name, cell);
    }
    return record;
}

bool do_alt_products(WantedSet &wanted)
{
    const int code = products_file_delimiter();
    if (code < 0) return false;
    const char delimiter = static_cast<char>(code);

    const std::string path = get_products_file_pathname_readonly();
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (!file) cgidie("The products file (%s) could not be opened.", path.c_str());

    const std::vector<std::string> header = get_delimited_file_header(file.get(), delimiter);
    if (header.empty()) return false;
    std::size_t skuid_column = 0;
    while (skuid_column < header.size() && header[skuid_column] != "SKUID")
        ++skuid_column;
    if (skuid_column == header.size()) return false;

    std::string row;
    while (!wanted.complete() && read_row(file.get(), row)) {
        const std::vector<std::string_view> cells = split_delimited_row(row, delimiter);
        if (cells.size() <= skuid_column) continue;
        std::string_view skuid = cells[skuid_column];
        skuid = skuid.substr(0, skuid.find_first_of("\r\n"));
        skuid = drop_trailing_quote(drop_leading_quote(skuid));
        if (skuid.empty() || !wanted.wants(skuid)) continue;
        const std::string name(skuid);
        import_delimited_product(row, header, delimiter, name);
        wanted.mark_found(name);
    }
    return true;
}
