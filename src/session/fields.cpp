#include "session/fields.h"

#include "strings/strutil.h"
#include "vars/vars.h"

#include <orvel.h>

#include <string>

bool ship_same_as_bill() {
    if (!DICT_SHOPPER) return true;
    std::string partner;
    for (var *v = DICT_SHOPPER->next; v; v = v->next) {
        if (!v->name) continue;
        std::string_view name = v->name;
        if (!stribeg(name, "SHIP_")) continue;
        partner.assign("BILL_").append(name.substr(5));
        var *bill = get_var(DICT_SHOPPER, partner);
        if (bill && bill != DICT_SHOPPER && !strisame(value_view(v->value), value_view(bill->value)))
            return false;
    }
    return true;
}
