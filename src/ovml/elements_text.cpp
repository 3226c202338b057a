// Text shaping, engine switches and product facts: ORVEL_WRAP,
// ORVEL_COMMENT, ORVEL_TWEAK, ORVEL_CURRENT and ORVEL_INFO.
#include "ovml/elements.h"
#include "ovml/elements_std.h"
#include "ovml/render.h"
#include "ovml/tokens.h"

#include "catalog/products.h"
#include "strings/strutil.h"
#include "vars/vars.h"

namespace {

// Loads one product by SKUID and returns its record, or null when the
// catalog does not have it (the loader then leaves a placeholder marked
// ?MISSING).
var *load_product(const std::string &skuid)
{
    var *wanted = new_dict("");
    set_integer(wanted, skuid, 1);
    fill_products(wanted);
    nuke_var(wanted);
    var *product = get_product(skuid);
    if (!product || var_boolean(product, "?MISSING")) return nullptr;
    return product;
}

}  // namespace

std::string do_OVML_Wrap(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string body = render_OVML_Text(def.body_lines());
    std::string_view pad = attrs.get("PADCHAR");
    if (pad.empty() && DICT_TWEAKS) pad = var_string(DICT_TWEAKS, "PADCHAR");
    const char pad_char = pad.empty() ? ' ' : pad.front();
    return strwrap(body, attrs.integer("WRAPCOL", 80), attrs.integer("SPACECOL", -1), attrs.integer("FIXWIDTH", 0) != 0,
                   pad_char, attrs.get("PREFIX"), attrs.get("POSTFIX"));
}

std::string do_OVML_Comment(TagDef &def)
{
    // The body stays exactly as written: no tokens, no elements.
    OVMLAttributes attrs(def, OVMLAttributes::Tokens::Keep);
    if (attrs.flag("DELETE") || !def.has_body()) return "";
    return std::string(def.body_lines().buffer());
}

std::string do_OVML_Tweak(TagDef &def)
{
    OVMLAttributes attrs(def);
    if (!DICT_TWEAKS) return "";
    for (var *a = attrs.first(); a; a = a->next)
        if (a->name) set_string(DICT_TWEAKS, a->name, value_view(a->value));
    return "";
}

std::string do_OVML_Current(TagDef &def)
{
    OVMLAttributes attrs(def);
    std::string skuid;
    if (attrs.flag("LASTADDED") || attrs.flag("FIRSTADDED")) {
        var *line = nullptr;
        if (DICT_SELECTED) {
            line = DICT_SELECTED->next;
            if (attrs.flag("LASTADDED"))
                while (line && line->next) line = line->next;
        }
        if (line && line->name) skuid = line->name;
    } else {
        skuid = upper(attrs.get("VALUE"));
    }
    if (skuid.empty()) return "";
    if (var *product = load_product(skuid)) current_product(product);
    return "";
}

std::string do_OVML_Info(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string skuid = upper(attrs.get("SKUID"));
    const std::string field = upper(attrs.get("FIELD"));
    if (skuid.empty()) return get_OVML_DBREF_Info(nullptr, field);
    load_product(skuid);
    return get_OVML_DBREF_Info(skuid.c_str(), field);
}
