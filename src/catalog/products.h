// Product records as the rest of the program reaches them: loading the
// products a list names (fill_products), finding a loaded record by SKUID,
// the current product that product tokens read, and the cart quantity of
// a product group.
//
// The products-file loader is not built yet: fill_products loads nothing,
// so only records already stored in DICT_PRODUCTS are found.
#pragma once

#include <orvel.h>

#include <string_view>

// Makes sure every SKUID named by a child of `list` is loaded into
// DICT_PRODUCTS.  Until the loader arrives this loads nothing.
void fill_products(var *list);

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

// Loads the cart's products and sums the selected quantities of those
// whose GROUP field holds `group` as a whole word, ignoring case.
int get_selected_quantity_by_group(std::string_view group);
