// The loop element's handlers: parsing the attributes, choosing the loop
// by TYPE, the deprecated fixed forms, and the helpers the loop kinds
// share (attribute reads, pass orders, counters, word splitting).
#include "ovml/loops.h"

#include "ovml/elements.h"
#include "ovml/loops_internal.h"
#include "ovml/registry.h"
#include "ovml/tokens.h"

#include "catalog/products.h"
#include "catalog/selection.h"
#include "search/results.h"
#include "search/scan.h"
#include "strings/strutil.h"
#include "vars/list.h"
#include "vars/vars.h"

#include <string>

namespace loops {

DictPtr new_scratch_dict() { return DictPtr(new_var(nullptr)); }

std::string attr_string(var *attrs, std::string_view name) {
    return attrs ? std::string(var_string(attrs, name)) : std::string();
}

int attr_integer(var *attrs, std::string_view name, int def) { return attrs ? var_integer(attrs, name, def) : def; }

bool attr_boolean(var *attrs, std::string_view name) { return attrs && var_boolean(attrs, name); }

Choices loop_choices(var *attrs, int n, bool product_loop) {
    const std::string size = attr_string(attrs, "SIZE");
    if (!size.empty()) return choose_choices(n, 0, size);
    if (attr_boolean(attrs, "SCRAMBLE") || (product_loop && attr_boolean(attrs, "SCRAMBLED")))
        return scrambled_choices(n, n);
    if (product_loop && attr_boolean(attrs, "REVERSED")) return reversed_choices(n);
    return choose_all(n);
}

int get_counter(std::string_view name) { return var_integer(DICT_ORVEL, name, 0); }

void set_counter(std::string_view name, int n) { set_integer(DICT_ORVEL, name, n); }

void set_loop_string(std::string_view name, std::string_view text) { set_string(DICT_ORVEL, name, text); }

std::vector<std::string> split_words(std::string_view text, char separator) {
    std::vector<std::string> words;
    if (text.empty()) return words;
    std::size_t start = text.find_first_not_of(separator);
    if (start == npos) {
        words.emplace_back();
        return words;
    }
    while (start != npos) {
        const std::size_t end = text.find(separator, start);
        words.emplace_back(text.substr(start, end == npos ? npos : end - start));
        if (end == npos) break;
        start = text.find_first_not_of(separator, end);
    }
    return words;
}

var *nested_dict(var *dict, std::string_view name) {
    var *entry = get_var(dict, name);
    return entry && entry != dict ? value_as_var(entry->value) : nullptr;
}

std::vector<std::string> entry_names(var *dict) {
    std::vector<std::string> names;
    for (var *v = dict ? dict->next : nullptr; v; v = v->next) names.emplace_back(v->name ? v->name : "");
    return names;
}

}  // namespace loops

using namespace loops;

namespace {

// The attribute dictionary of an element: the tag text parsed with names
// upper-cased, then every string value token-rendered.  A self-closed
// element (written with a final '/') has no body; the slash closes the
// tag and is no part of the last attribute's value.
DictPtr element_attributes(const TagDef &def) {
    DictPtr attrs = new_scratch_dict();
    std::string_view tag = def.tag_text();
    if (!def.has_body() && !tag.empty() && tag.back() == '/') tag.remove_suffix(1);
    to_fields(tag, attrs.get(), true, '\0');
    OVMLify_fields(attrs.get());
    return attrs;
}

// TYPE=PRODUCT...: every product, one group's products, or a SKUID list
// (each SKUID with its cart quantity).
std::string product_type_loop(const OVMLText &body, var *attrs) {
    DictPtr chosen;
    if (attr_boolean(attrs, "ALL")) {
        chosen = new_scratch_dict();
        search_product_ids("+SKUID[", 1000000, chosen.get());
    } else if (const std::string group = attr_string(attrs, "GROUP"); !group.empty()) {
        // SPELLCHECK is accepted and changes nothing.
        chosen = new_scratch_dict();
        search_product_ids("+GROUP=" + group, 1000000, chosen.get());
    } else {
        chosen = new_scratch_dict();
        for (const std::string &skuid : split_words(upper(attr_string(attrs, "SRC")), ';'))
            set_integer(chosen.get(), skuid, get_selected_quantity(skuid));
    }
    return render_OVML_Product_Loop(body, chosen.get(), attrs);
}

// TYPE=MATCH...: the search matches, after reloading a stored result when
// asked to.
std::string match_loop(const OVMLText &body, var *attrs) {
    if (attr_boolean(attrs, "ALL")) {
        reload_historical_query(0, -1);
    } else {
        const int first = attr_integer(attrs, "FIRSTRESULT", -1);
        const int last = attr_integer(attrs, "LASTRESULT", -1);
        if (first <= 0 && last > 0) reload_historical_query(0, last);
        else if (first > 0) reload_historical_query(first, last);
    }
    // A reload replaces the dictionary: read the root only now.
    fill_products(DICT_MATCHES);
    add_ranks_to_matching_products();
    return render_OVML_Product_Loop(body, DICT_MATCHES, attrs);
}

}  // namespace

std::string do_OVML_Loop(TagDef &def) {
    DictPtr holder = element_attributes(def);
    var *attrs = holder.get();
    const OVMLText &body = def.body_lines();
    const std::string type = upper(attr_string(attrs, "TYPE"));

    // The tests go in this order, so that OPTIONED is recognised before
    // OPTIONS.
    if (type.empty()) return render_OVML_Generic_Loop(body, attrs);
    if (type == "SELECTED") return render_OVML_Product_Loop(body, DICT_SELECTED, attrs);
    if (strbeg(type, "PICKUP")) return render_OVML_Product_Loop(body, DICT_PICKUPS, attrs);
    if (strbeg(type, "MATCH")) return match_loop(body, attrs);
    if (strbeg(type, "NOTE")) return render_OVML_Note_Loop(body);
    if (strbeg(type, "PRODUCT")) return product_type_loop(body, attrs);
    if (strbeg(type, "CURRENCY")) return render_OVML_Currency_Loop(body);
    if (strbeg(type, "OPTIONED"))
        return render_OVML_Optioned_Loop(body, upper(attr_string(attrs, "BASE")), upper(attr_string(attrs, "OPTIONS")),
                                         upper(attr_string(attrs, "GROUP")));
    if (type == "QUERY") return render_OVML_Query_Loop(body, attrs);
    if (type == "OPTIONS")
        return render_OVML_Options_Loop(body, attr_string(attrs, "GROUP"), attr_string(attrs, "SRC"));
    if (type == "FILE") return render_OVML_File_Loop(body, attrs);
    if (strbeg(type, "WORD")) return render_OVML_Word_Loop(body, attrs);
    if (strbeg(type, "DUMP")) return render_OVML_Dump_Loop(body, attrs);
    return Orvel_OVML_output_error("Unknown loop type \"%s\"", type.c_str());
}

std::string do_OVML_ItemList(TagDef &def) {
    ovdeprec("deprecated: <ORVEL_ITEM_LIST>; use <ORVEL_LOOP TYPE=SELECTED> instead.");
    return render_OVML_Product_Loop(def.body_lines(), DICT_SELECTED, nullptr);
}

std::string do_OVML_NoteList(TagDef &def) {
    ovdeprec("deprecated: <ORVEL_NOTE_LIST>; use <ORVEL_LOOP TYPE=NOTES> instead.");
    return render_OVML_Note_Loop(def.body_lines());
}
