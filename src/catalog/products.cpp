// Product records: lookup, the current product and group quantities.  The
// loader that reads products.txt replaces fill_products' empty body.
#include "catalog/products.h"

#include "catalog/selection.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <string>

namespace {

// The current product's SKUID; the record itself is looked up on demand.
std::string current_skuid;

}  // namespace

void fill_products(var *) {
    // The products-file loader is not part of the program yet: records
    // that someone stored in DICT_PRODUCTS are all there is.
}

var *get_product(std::string_view skuid) {
    if (!DICT_PRODUCTS) return nullptr;
    var *v = get_var(DICT_PRODUCTS, skuid);
    if (!v || v == DICT_PRODUCTS) return nullptr;
    return value_as_var(v->value);
}

var *get_product_field(var *product, std::string_view name) {
    if (!product) return nullptr;
    var *v = get_var(product, name);
    return v == product ? nullptr : v;
}

var *set_current_product(var *product) {
    if (!product) current_skuid.clear();
    else current_skuid = value_view(product->value);
    return product;
}

var *current_product(var *product) {
    if (product) return set_current_product(product);
    if (current_skuid.empty()) return nullptr;
    return get_product(current_skuid);
}

std::string_view current_product_skuid() { return current_skuid; }

int get_selected_quantity_by_group(std::string_view group) {
    if (!DICT_SELECTED) return 0;
    fill_products(DICT_SELECTED);
    int total = 0;
    for (var *line = DICT_SELECTED->next; line; line = line->next) {
        var *field = get_product_field(get_product(line->name), "GROUP");
        if (field && striword(value_view(field->value), group) != npos)
            total += get_selected_quantity(line->name);
    }
    return total;
}
