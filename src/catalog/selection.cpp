#include "catalog/selection.h"

#include <orvel.h>

std::string get_selected_products_string() {
    std::string out;
    for (var *v = DICT_SELECTED ? DICT_SELECTED->next : nullptr; v; v = v->next) {
        if (!out.empty()) out += ';';
        out += v->name;
    }
    return out;
}
