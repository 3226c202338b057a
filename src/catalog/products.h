// Product records as the rest of the program reaches them: creating and
// finding records in DICT_PRODUCTS, loading the products a list names
// (fill_products, which takes them from the delimited table, the custom
// source or the products file and makes placeholders for the rest), the
// current product that product tokens read, search ranks, the cart
// quantity of a product group and the SKUID check offered to extensions.
//
// A record is a nested dictionary stored in DICT_PRODUCTS under its SKUID.
// Its own value is the SKUID; its head is labelled with the SKUID in
// brackets ("[W-100]"), so that the label can never shadow a field name (a
// product whose SKUID is NAME still has a NAME field).  Fields are
// upper-case child variables; records loaded from a source also carry the
// field SKUID, so that %OVI_SKUID works in templates.
#pragma once

#include <orvel.h>

#include <string>
#include <string_view>

// Makes sure every SKUID named by a child of `list` is in DICT_PRODUCTS:
// loads what is not loaded yet, derives optioned products, makes missing
// placeholders for the rest, then runs the product tweaks and the OVML
// rendering of OVML_PRODUCT_FIELDS (unless the tweak FILL_PRODUCTS_RAW is
// set).  Ends the request when the products file cannot be opened.
void fill_products(var *list);

// A new record for `skuid`, stored in DICT_PRODUCTS in place of any earlier
// record of that SKUID.
var *new_product(std::string_view skuid);
// The stored record of `skuid`, or a new one.
var *new_or_existing_product(std::string_view skuid);
// A placeholder record: NAME from the MISSING_SKUID message ("Missing
// SKUID %s" with %s replaced by the SKUID), PRICE 0.0, QUANTITY 0 and
// ?MISSING 1.
var *new_missing_product(std::string_view skuid);
// Forgets the missing-product text computed once per process (tests start
// each case as a new process would).
void forget_missing_product_text();

// For every entry of DICT_MATCHES: gets or creates its product and sets
// SEARCH_SCORE to the entry's integer value.
void add_ranks_to_matching_products();

// The loaded product record of `skuid` (exact name), or nullptr.
var *get_product(std::string_view skuid);
// The field `name` of a product record (never the record's own head), or
// nullptr.
var *get_product_field(var *product, std::string_view name);

// With a non-null record, makes it the current product and returns it;
// with nullptr, returns the current product (nullptr when none).  The
// current product is remembered by SKUID and found again in DICT_PRODUCTS,
// so a record dropped with its dictionary is never handed out.
var *current_product(var *product);
// Makes `product` (possibly nullptr) current; returns it.
var *set_current_product(var *product);
// The SKUID of the current product ("" when none was set).
std::string_view current_product_skuid();

// Remembers the current product and makes it current again when the scope
// ends (product loops, OVML product fields, discount messages).
class CurrentProductScope {
public:
    CurrentProductScope();
    ~CurrentProductScope();
    CurrentProductScope(const CurrentProductScope &) = delete;
    CurrentProductScope &operator=(const CurrentProductScope &) = delete;

private:
    std::string saved_;
};

// Loads the cart's products and sums the selected quantities of those
// whose GROUP field holds `group` as a whole word, ignoring case.
int get_selected_quantity_by_group(std::string_view group);

// The products file to read: "products.txt" (or PRODUCTS_FILE) in the
// theme root, else in the default theme or the catalog directory.
std::string get_products_file_pathname_readonly();
// The products file to write: in the theme root, with no fallback.
std::string get_products_file_pathname();

extern "C" {
// nullptr for a valid SKUID, else why it is not: "SKUID does not begin
// with a letter or a number" or "SKUID contains characters other than
// letters, numbers, and underscores".
const char *is_invalid_skuid(const char *skuid);
}
