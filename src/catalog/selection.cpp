#include "catalog/selection.h"

#include "vars/vars.h"

#include <orvel.h>

std::string get_selected_products_string() {
    std::string out;
    for (var *v = DICT_SELECTED ? DICT_SELECTED->next : nullptr; v; v = v->next) {
        if (!out.empty()) out += ';';
        out += v->name;
    }
    return out;
}

int get_selected_quantity(std::string_view code) {
    if (code.empty() || !DICT_SELECTED) return 0;
    return var_integer(DICT_SELECTED, code, 0);
}

void set_selected_quantity(std::string_view code, int quantity) {
    if (code.empty() || !DICT_SELECTED) return;
    set_integer(DICT_SELECTED, code, quantity);
    // A loaded product record carries its cart quantity too.
    if (!DICT_PRODUCTS) return;
    var *product = get_var(DICT_PRODUCTS, code);
    if (product && product->value && product->value->type == TYPE_VAR) {
        if (var *record = value_as_var(product->value)) set_integer(record, "QUANTITY", quantity);
    }
}
