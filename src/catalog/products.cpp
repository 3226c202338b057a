// Product records: creating and finding them, loading the products a list
// names from the first source that answers, placeholders for the rest, the
// current product, search ranks and group quantities.
#include "catalog/products.h"

#include "catalog/product_sources.h"
#include "catalog/seams.h"
#include "catalog/selection.h"
#include "config/config.h"
#include "config/paths.h"
#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace {

// The current product's SKUID; the record itself is looked up on demand.
std::string current_skuid;

std::optional<std::string> missing_text;

const std::string &missing_product_text() {
    if (!missing_text) {
        std::string def = "Missing SKUID %s";
        if (config_defined("MISSING_SKUID_MSG")) {
            def = std::string(config_string("MISSING_SKUID_MSG"));
            ovdeprec("deprecated: MISSING_SKUID_MSG config field; use MISSING_SKUID field in custom.rules instead.");
        }
        missing_text = cook_custom_message("MISSING_SKUID", def, true);
    }
    return *missing_text;
}

bool is_loaded(std::string_view skuid) { return get_product(skuid) != nullptr; }

std::string products_file_name() {
    std::string name(config_string("PRODUCTS_FILE"));
    return name.empty() ? std::string("products.txt") : name;
}

}  // namespace

// ---- records -----------------------------------------------------------------

var *new_product(std::string_view skuid) {
    if (!DICT_PRODUCTS) return nullptr;
    const std::string label = "[" + std::string(skuid) + "]";
    var *record = new_var(label.c_str());
    var_value_set(record, TYPE_STRING, dup_cstring(skuid));
    const std::string name(skuid);
    set_var(DICT_PRODUCTS, name.c_str(), TYPE_VAR, record);
    return record;
}

var *new_or_existing_product(std::string_view skuid) {
    if (var *record = get_product(skuid)) return record;
    return new_product(skuid);
}

var *new_missing_product(std::string_view skuid) {
    // The code may come straight from a shopper's request: the text is shown
    // in pages, so the code goes in escaped.
    const std::string name = strsub(missing_product_text(), "%s", quote_html_specials(skuid));
    var *record = new_product(skuid);
    if (!record) return nullptr;
    set_string(record, "SKUID", skuid);
    set_string(record, "NAME", name);
    set_float(record, "PRICE", 0.0);
    set_integer(record, "QUANTITY", 0);
    set_integer(record, "?MISSING", 1);
    return record;
}

void forget_missing_product_text() { missing_text.reset(); }

// ---- the wanted set ---------------------------------------------------------------

WantedSet::WantedSet() : names_(new_dict("[FILTERED_PRODUCTS]")) {}

WantedSet::~WantedSet() { nuke_var(names_); }

std::uint64_t WantedSet::filter_hash(std::string_view skuid) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : skuid) h = (h ^ c) * 1099511628211ULL;
    return h;
}

bool WantedSet::may_want(std::string_view skuid) const {
    std::uint64_t h = filter_hash(skuid);
    for (int k = 0; k < 2; ++k, h >>= 16) {
        unsigned bit = static_cast<unsigned>(h % (filter_.size() * 64));
        if (!(filter_[bit / 64] & (1ULL << (bit % 64)))) return false;
    }
    return true;
}

bool WantedSet::add(std::string_view skuid) {
    if (skuid.empty() || var_defined(names_, skuid)) return false;
    set_integer(names_, skuid, 1);
    std::uint64_t h = filter_hash(skuid);
    for (int k = 0; k < 2; ++k, h >>= 16) {
        unsigned bit = static_cast<unsigned>(h % (filter_.size() * 64));
        filter_[bit / 64] |= 1ULL << (bit % 64);
    }
    ++count_;
    return true;
}

bool WantedSet::wants(std::string_view skuid) const {
    if (!may_want(skuid)) return false;
    var *v = get_var(names_, skuid);
    return v && v != names_ && value_as_integer(v->value, 0) == 1;
}

void WantedSet::mark_found(std::string_view skuid) {
    var *v = get_var(names_, skuid);
    if (!v || v == names_ || value_as_integer(v->value, 0) != 1) return;
    var_value_set(v, TYPE_INTEGER, 0);
    ++found_;
}

void WantedSet::mark_loaded_found() {
    std::vector<std::string> loaded;
    for (var *v = names_->next; v; v = v->next)
        if (value_as_integer(v->value, 0) == 1 && is_loaded(v->name)) loaded.emplace_back(v->name);
    for (const std::string &s : loaded) mark_found(s);
}

void fill_missing_products(const WantedSet &wanted) {
    for (var *entry = wanted.names()->next; entry; entry = entry->next) {
        const std::string_view skuid(entry->name);
        if (is_loaded(skuid)) continue;
        if (skuid.find(Option_Code_Delimiter) != npos) {
            if (var *optioned = new_optioned_product(skuid)) {
                set_integer(optioned, "QUANTITY", get_selected_quantity(skuid));
                continue;
            }
        }
        new_missing_product(skuid);
    }
}

// ---- loading -------------------------------------------------------------------

void fill_products(var *list) {
    if (!list || !DICT_PRODUCTS) return;
    WantedSet wanted;
    for (var *child = list->next; child; child = child->next) {
        const std::string_view skuid(child->name ? child->name : "");
        if (skuid.empty() || is_loaded(skuid)) continue;
        wanted.add(skuid);
        std::size_t delimiter = skuid.find(Option_Code_Delimiter);
        if (delimiter == npos) continue;
        // An optioned code also wants its base product, unless the list
        // names the base itself (it gets its own turn) or it is loaded.
        const std::string_view base = skuid.substr(0, delimiter);
        if (!base.empty() && !var_defined(list, base) && !is_loaded(base)) wanted.add(base);
    }
    if (wanted.count() > 0) {
        if (!do_alt_products(wanted) && !do_custom_products(wanted))
            read_products_file(get_products_file_pathname_readonly(), wanted);
        fill_missing_products(wanted);
    }
    if (!(DICT_TWEAKS && var_boolean(DICT_TWEAKS, "FILL_PRODUCTS_RAW"))) {
        do_custom_products_tweak(list);
        maybe_ovmlify_products(list);
    }
}

void add_ranks_to_matching_products() {
    if (!DICT_MATCHES) return;
    for (var *entry = DICT_MATCHES->next; entry; entry = entry->next) {
        if (!entry->name) continue;
        if (var *record = new_or_existing_product(entry->name))
            set_integer(record, "SEARCH_SCORE", value_as_integer(entry->value, 0));
    }
}

// ---- lookups and the current product ------------------------------------------------

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

CurrentProductScope::CurrentProductScope() : saved_(current_skuid) {}

CurrentProductScope::~CurrentProductScope() { current_skuid = saved_; }

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

// ---- paths and checks ----------------------------------------------------------------

std::string get_products_file_pathname_readonly() {
    return get_themed_pathname_or_default("", products_file_name());
}

std::string get_products_file_pathname() { return get_theme_root() + "/" + products_file_name(); }

extern "C" const char *is_invalid_skuid(const char *skuid) {
    if (!skuid || !std::isalnum(static_cast<unsigned char>(skuid[0])))
        return "SKUID does not begin with a letter or a number";
    for (const char *p = skuid; *p; ++p)
        if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '_')
            return "SKUID contains characters other than letters, numbers, and underscores";
    return nullptr;
}
