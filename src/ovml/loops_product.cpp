// Product loops: the body rendered once per chosen SKUID of a collection
// with that product current, and the collections that are built for it
// (search queries and the optioned variants of a base product).
#include "ovml/loops.h"

#include "ovml/loops_internal.h"
#include "ovml/loops_seams.h"
#include "ovml/registry.h"
#include "ovml/render.h"

#include "catalog/products.h"
#include "catalog/selection.h"
#include "config/config.h"
#include "config/paths.h"
#include "search/scan.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <optional>
#include <string>
#include <vector>

using namespace loops;

namespace {

bool safe_body_name(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.find("..") == npos;
}

// Sorts the collection by the product field SORT names ("+PRICE",
// "-NAME", "WEIGHT"): descending after a '-', ascending otherwise.
void sort_collection(var *dict, std::string_view sort) {
    const bool ascending = sort.front() != '-';
    if (sort.front() == '+' || sort.front() == '-') sort.remove_prefix(1);
    sort_products(dict, upper(sort), ascending);
}

}  // namespace

std::string render_OVML_Product_Loop(const OVMLText &body, var *dict, var *attrs) {
    const OVMLText *pass_body = &body;
    std::optional<OVMLText> file_body;
    int min_passes = -1, max_passes = -1;

    if (attrs) {
        const std::string sort = attr_string(attrs, "SORT");
        if (!sort.empty() && dict) sort_collection(dict, sort);
        min_passes = attr_integer(attrs, "MIN", -1);
        max_passes = attr_integer(attrs, "MAX", -1);
        const std::string name = attr_string(attrs, "BODY");
        if (safe_body_name(name)) {
            const std::string path =
                attr_boolean(attrs, "TEMPLATE") ? get_template_pathname(name) : get_servable_pathname(name);
            file_body = read_OVML_File(path);
            if (!file_body) file_body.emplace();  // unreadable: an empty body
            pass_body = &*file_body;
        }
    }
    // SKUIDs by position, copied: the body may edit the collection (a cart
    // quantity, a nested loop sorting the cart) while the passes run.
    const std::vector<std::string> skuids = entry_names(dict);
    const int n = static_cast<int>(skuids.size());
    const Choices order = attrs ? loop_choices(attrs, n, true) : choose_all(n);

    if (dict) fill_products(dict);
    const CurrentProductScope keep_current_product;
    const int saved_count = get_counter("PRODUCT_LOOP_COUNT");
    const int saved_matches = get_counter("MATCHES_LOOP_COUNT");
    set_counter("PRODUCT_LOOP_COUNT", 0);

    std::string out;
    int passes = 0;
    auto count_pass = [&] {
        ++passes;
        set_counter("PRODUCT_LOOP_COUNT", passes);
        set_counter("MATCHES_LOOP_COUNT", saved_matches + passes - 1);
    };
    for (const int position : order) {
        if (max_passes >= 0 && passes >= max_passes) break;
        count_pass();
        // A SKUID the catalog lacks uses up its pass but shows nothing.
        var *product = position >= 1 && position <= n ? get_product(skuids[position - 1]) : nullptr;
        if (!product) continue;
        set_current_product(product);
        out += render_OVML_Text(*pass_body);
    }
    // Padding rows, so that a table always shows MIN rows: no current
    // product, so product tokens give "".
    while ((max_passes < 0 || max_passes > passes) && passes < min_passes) {
        count_pass();
        set_current_product(nullptr);
        out += render_OVML_Text(*pass_body);
    }

    set_counter("PRODUCT_LOOP_COUNT", saved_count);
    set_counter("MATCHES_LOOP_COUNT", saved_matches);
    set_counter("PRODUCT_LOOP_TOTAL", passes);
    return out;  // the scope makes the saved product current again

}

std::string render_OVML_Query_Loop(const OVMLText &body, var *attrs) {
    const std::string spec = upper(attr_string(attrs, "SPEC"));
    if (spec.empty()) return Orvel_OVML_output_error("Missing SPEC field for QUERY loop.");
    // SEQUENTIAL and SPELLCHECK are accepted and change nothing.
    DictPtr found = new_scratch_dict();
    search_product_ids(spec, attr_integer(attrs, "MAXHITS", 1000000), found.get());
    return render_OVML_Product_Loop(body, found.get(), attrs);
}

std::string render_OVML_Optioned_Loop(const OVMLText &body, std::string_view base, std::string_view options,
                                      std::string_view group) {
    if (base.empty()) return Orvel_OVML_output_error("Invalid BASE or options GROUP.");
    load_options();
    const std::string groups(!options.empty() ? options : !group.empty() ? group : std::string_view(" ALL_OPTIONS"));
    DictPtr variants = new_scratch_dict();
    for (const std::string &name : split_words(groups, ';')) {
        var *codes = nested_dict(DICT_OPTIONS, name);
        if (!codes) continue;
        for (var *code = codes->next; code; code = code->next) {
            std::string skuid(base);
            skuid += Option_Code_Delimiter;
            skuid += code->name ? code->name : "";
            set_integer(variants.get(), skuid, get_selected_quantity(skuid));
        }
    }
    return render_OVML_Product_Loop(body, variants.get(), nullptr);
}
