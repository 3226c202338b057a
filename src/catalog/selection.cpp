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

bool is_acceptable_cart_code(std::string_view code) {
    if (code.empty() || code.size() > MAX_CART_CODE_LENGTH) return false;
    // A cart line is stored as "CODE:quantity": a colon or a control
    // character (line breaks, NUL) in a code would forge session lines.
    for (char c : code)
        if (c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return true;
}

int clamp_quantity(long long quantity) {
    if (quantity < 0) return 0;
    return quantity > MAX_QUANTITY ? MAX_QUANTITY : static_cast<int>(quantity);
}

void set_selected_quantity(std::string_view code, int requested) {
    if (!DICT_SELECTED || !is_acceptable_cart_code(code)) return;
    const int quantity = clamp_quantity(requested);
    set_integer(DICT_SELECTED, code, quantity);
    // A loaded product record carries its cart quantity too.
    if (!DICT_PRODUCTS) return;
    var *product = get_var(DICT_PRODUCTS, code);
    if (product && product->value && product->value->type == TYPE_VAR) {
        if (var *record = value_as_var(product->value)) set_integer(record, "QUANTITY", quantity);
    }
}
