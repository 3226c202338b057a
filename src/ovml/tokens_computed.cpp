// The computed tokens: sums over the cart (S), adjusted dates (D) and
// product information (I, the INFO element and the form special).
#include "ovml/tokens.h"

#include "catalog/products.h"
#include "catalog/selection.h"
#include "cgi/output.h"
#include "ovml/tokens_internal.h"
#include "search/compare.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace ovml_tokens;

namespace {

constexpr std::size_t SUM_PART_LIMIT = 64;
constexpr std::string_view SUM_FILTER_MARKS = "!~?";
constexpr std::string_view COMPARISON_CHARS = ":=><%[]^$";

// A field's amount in a sum: its number, or 1 for a value that is none.
double field_amount(var *field)
{
    value *v = field->value;
    if (v && (v->type == TYPE_INTEGER || v->type == TYPE_FLOAT)) return value_as_float(v, 0.0);
    std::string_view text = value_view(v);
    if (is_numeric(text)) return std::strtod(std::string(text).c_str(), nullptr);
    return 1.0;
}

// Does the product meet a sum's condition: "FIELD" (the field reads as
// true) or "FIELD" operator value (the search comparison)?
bool meets_condition(var *product, std::string_view condition)
{
    const std::size_t op = condition.find_first_of(COMPARISON_CHARS);
    if (op == npos) {
        var *field = get_product_field(product, condition);
        return field && value_as_boolean(field->value);
    }
    var *field = get_product_field(product, condition.substr(0, op));
    std::string loose("?");
    loose.append(condition.substr(op));
    return search_comp(field ? value_view(field->value) : std::string_view(), loose);
}

// Whether an adjustment reads as character, number, character.
bool read_time_spec(std::string_view spec, char &direction, int &number, char &unit_letter)
{
    const std::string text(spec);
    return std::sscanf(text.c_str(), "%c%d%c", &direction, &number, &unit_letter) == 3;
}

long unit_seconds(char letter)
{
    switch (letter) {
    case 'D': case 'd': return 86400;
    case 'H': case 'h': return 3600;
    case 'L': case 'l': return 2635200;
    case 'M': case 'm': return 60;
    case 'S': case 's': return 1;
    case 'Y': case 'y': return 31536000;
    default: return 0;
    }
}

std::string two_decimals(double amount) { return dupsprintf("%.2f", amount); }

}  // namespace

// ---- sums ----------------------------------------------------------------

bool get_Sum_Float(var *product, std::string_view field, int quantity, double *result)
{
    if (field == "*") {
        *result = 1.0;
        return true;
    }
    if (strisame(field, "TOTAL_*")) {
        *result = quantity;
        return true;
    }
    if (var *f = get_product_field(product, field)) {
        *result = field_amount(f);
        return true;
    }
    if (strbeg(field, "TOTAL_")) {
        if (var *f = get_product_field(product, field.substr(6))) {
            *result = quantity * field_amount(f);
            return true;
        }
    }
    return false;
}

std::string get_OVML_Sum(std::string_view spec)
{
    const std::size_t mark_at = spec.find_first_of(SUM_FILTER_MARKS);
    const char mark = mark_at == npos ? '?' : spec[mark_at];
    const std::string_view field = spec.substr(0, mark_at).substr(0, SUM_PART_LIMIT);
    const std::string_view condition =
        mark_at == npos ? std::string_view() : spec.substr(mark_at + 1).substr(0, SUM_PART_LIMIT);

    double total = 0.0;
    if (DICT_SELECTED) {
        fill_products(DICT_SELECTED);
        for (var *line = DICT_SELECTED->next; line; line = line->next) {
            var *product = get_product(line->name);
            if (!product) continue;
            if (mark == '!' && meets_condition(product, condition)) continue;
            if (mark == '~' && !meets_condition(product, condition)) continue;
            double amount = 0.0;
            if (get_Sum_Float(product, field, value_as_integer(line->value, 0), &amount)) total += amount;
        }
    }
    if (var_boolean(DICT_TWEAKS, "ROUNDSUMS")) return std::to_string(static_cast<long>(total));
    return two_decimals(total);
}

// ---- dates -----------------------------------------------------------------

std::time_t Orvel_OVML_adjust_time(std::string_view spec, const std::time_t *base, long *unit)
{
    char direction = 0, unit_letter = 0;
    int number = 0;
    if (!read_time_spec(spec, direction, number, unit_letter)) return 0;
    const long seconds = unit_seconds(unit_letter);
    if (unit) *unit = seconds;
    std::time_t when = base ? *base : std::time(nullptr);
    if (direction == 'F' || direction == 'f') when += static_cast<std::time_t>(number) * seconds;
    else if (direction == 'P' || direction == 'p') when -= static_cast<std::time_t>(number) * seconds;
    return when;
}

std::string get_OVML_Token_Date(std::string_view spec)
{
    char direction = 0, unit_letter = 0;
    int number = 0;
    // A text that is no date adjustment ("NOW") gives no text, so that a
    // fall-back can stand in.
    if (!read_time_spec(spec, direction, number, unit_letter)) return {};
    long unit = 0;
    const std::time_t when = Orvel_OVML_adjust_time(spec, nullptr, &unit);
    if (var_boolean(DICT_TWEAKS, "COOKIEDATES")) return cookie_time(when);
    return unit < 86400 ? my_strdatetime(&when) : my_strdate(&when);
}

// ---- product information -----------------------------------------------------

std::string get_OVML_DBREF_Info(const char *skuid_or_null, std::string_view field)
{
    var *product;
    std::string_view skuid;
    if (skuid_or_null) {
        skuid = skuid_or_null;
        product = get_product(skuid);
    } else {
        product = current_product(nullptr);
        skuid = current_product_skuid();
    }

    if (field == "QUANTITY") {
        const int quantity = get_selected_quantity(skuid);
        if (quantity == 0) return unselected_quantity_text();
        if (!product) return std::to_string(quantity);
    }
    if (!product) return {};

    if (var *f = get_product_field(product, field)) {
        // Prices print with two decimals.
        if (field == "PRICE" && f->value && f->value->type != TYPE_FLOAT)
            value_set(f->value, TYPE_FLOAT, value_as_float(f->value, 0.0));
        return std::string(value_view(f->value));
    }

    const int quantity = get_selected_quantity(skuid);
    if (field == "QUANTITY") return std::to_string(quantity);
    if (field == "TOTAL_PRICE" || field == "TOTAL") {
        if (field == "TOTAL") ovdeprec("deprecated: %%OVI_TOTAL token; use %%OVI_TOTAL_PRICE instead.");
        var *price = get_product_field(product, "PRICE");
        return two_decimals((price ? value_as_float(price->value, 0.0) : 0.0) * quantity);
    }
    if (field == "TOTAL_WEIGHT") {
        var *weight = get_product_field(product, "WEIGHT");
        return two_decimals((weight ? value_as_float(weight->value, 0.0) : 0.0) * quantity);
    }
    if (field == "CHECKED" || field == "SELECTED") return quantity != 0 ? std::string(field) : std::string();
    if (field == "CODE") {
        overror("OBSOLETE: %%OVI_CODE token; use %%OVI_SKUID!");
        return std::string(skuid);
    }
    if (field == "COST") {
        overror("OBSOLETE: %%OVI_COST token; use %%OVI_PRICE!");
        return get_OVML_DBREF_Info(skuid_or_null, "PRICE");
    }
    return {};
}
