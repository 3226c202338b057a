// Product records supplied or adjusted by the merchant: the plug-ins' read
// and tweak entry points, the MY_PRODUCTS and MY_PRODUCTS_TWEAK scripts,
// the tweak rules, and the OVML rendering of OVML_PRODUCT_FIELDS.
#include "catalog/product_sources.h"

#include "catalog/products.h"
#include "catalog/seams.h"
#include "config/config.h"
#include "ext/plugins.h"
#include "ext/scripts.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <string>
#include <vector>

namespace {

// Polls `entry` with an argument list whose REQUESTED is `requested`.  The
// list is lent to the plug-ins, not given: it is detached again before the
// argument list is freed.
int poll_with_requested(const char *entry, var *requested)
{
    var *args = new_dict("[PLUGIN_ARGS]");
    set_var(args, "REQUESTED", TYPE_VAR, requested);
    const int result = poll_plugins(entry, args);
    var *slot = get_var(args, std::string_view("REQUESTED"));
    if (slot && slot != args && value_as_var(slot->value) == requested) {
        slot->value->payload.p = nullptr;
        slot->value->type = TYPE_NONE;
    }
    nuke_var(args);
    return result;
}

}  // namespace

bool do_custom_products(WantedSet &wanted)
{
    if (poll_with_requested("plugin_read_products", wanted.names()) == PLUGIN_HANDLED) return false;
    const std::string script(config_string("MY_PRODUCTS"));
    if (script.empty()) return false;
    if (do_api_script(script) != 0)
        cgidie("Failed to open pipe to custom product info script \"%s\".  Verify that the MY_PRODUCTS field in "
               "the orvel.config file is correct.  (Note this feature is not available in the Win32 version of "
               "Orvel.)",
               script.c_str());
    return true;
}

void do_custom_products_tweak(var *list)
{
    if (!list) return;
    if (poll_with_requested("plugin_tweak_products", list) == PLUGIN_HANDLED) return;
    get_tweaked(list);
    const std::string script(config_string("MY_PRODUCTS_TWEAK"));
    if (script.empty()) return;
    if (do_api_script(script) != 0)
        cgidie("Failed to open pipe to custom product tweaking script \"%s\".  Verify that the MY_PRODUCTS_TWEAK "
               "field in the orvel.config file is correct.  (Note this feature is not available in the Win32 "
               "version of Orvel.)",
               script.c_str());
}

void maybe_ovmlify_products(var *list)
{
    if (!list) return;
    std::vector<std::string> fields;
    for (std::string_view piece : split_list(config_string("OVML_PRODUCT_FIELDS"), ';')) {
        const std::string_view name = trim_ws(piece);
        if (!name.empty()) fields.push_back(upper(name));
    }
    if (fields.empty()) return;

    CurrentProductScope keep_current;
    for (var *child = list->next; child; child = child->next) {
        var *product = child->name ? get_product(child->name) : nullptr;
        if (!product) continue;
        set_current_product(product);
        for (const std::string &name : fields) {
            var *field = get_product_field(product, name);
            const std::string source(field ? value_view(field->value) : std::string_view());
            set_string(product, name, render_OVML_String(source));
        }
    }
}
