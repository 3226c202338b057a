// Token names to values: the dictionary behind each letter, the computed
// letters, the old names still served (each reported to the deprecation
// log), display names for shopper choices, and the switches read once per
// process.
#include "ovml/tokens.h"

#include "catalog/products.h"
#include "catalog/selection.h"
#include "config/config.h"
#include "config/paths.h"
#include "ovml/tokens_internal.h"
#include "rules/rules.h"
#include "rules/totals.h"
#include "session/fields.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <optional>
#include <string>

namespace ovml_tokens {

namespace {

// -1: not read yet.
int raw_complex_state = -1;
int names_disabled_state = -1;
std::optional<std::string> unselected_text;

// Old configuration token names now served from other dictionaries.
constexpr std::string_view OLD_SHOPPER_NAMES = "BROWSER_ID|SHOPPER_ID|ORDER_ID|CLIENT|FRAMES|PAGE|SERVE_SECURE";
constexpr std::string_view OLD_ORVEL_NAMES =
    "PRODUCT_LOOP_COUNT|NOTE_LOOP_COUNT|NOTE|SEARCH_MORE_PAGES|SEARCH_MORE|SEARCH_PREV_PAGES|"
    "SEARCH_PREV|SOFTGOODS_REGISTERED|MESSAGE|DATE|ORDER_SEQ|RANDOM";
constexpr std::string_view OLD_PAYMENT_NAMES = "PAYMENT_INFO|CREDIT_INFO";
constexpr std::string_view OLD_CGI_NAMES = "REMOTE_USER|REMOTE_HOST|REMOTE_ADDR|HTTP_USER_AGENT|HTTP_REFERER";

bool dict_value(var *dict, std::string_view name, std::string_view &out)
{
    var *v = entry(dict, name);
    if (!v) return false;
    out = value_view(v->value);
    return true;
}

// "1" or "0" from the shopper's addresses, kept as SHIP_SAME_AS_BILL.
bool ship_same_value(std::string_view &out)
{
    var *v = set_string(DICT_ORVEL, "SHIP_SAME_AS_BILL", ship_same_as_bill() ? "1" : "0");
    if (!v) return false;
    out = value_view(v->value);
    return true;
}

bool config_token(std::string_view rest, std::string_view &out)
{
    if (dict_value(DICT_CONFIG, rest, out)) return true;
    const std::string name(rest);
    if (rest == "SHIP_TO_BILL") {
        ovdeprec("deprecated: %%OVM_SHIP_TO_BILL token; use %%OVH_SHIP_SAME_AS_BILL instead.");
        return ship_same_value(out);
    }
    if (OLD_SHOPPER_NAMES.find(rest) != npos) {
        ovdeprec("deprecated: %%OVM_%s token; use %%OVE instead.", name.c_str());
        return dict_value(DICT_SHOPPER, rest, out);
    }
    if (strbeg(rest, "WORD") || OLD_ORVEL_NAMES.find(rest) != npos) {
        ovdeprec("deprecated: %%OVM_%s token; use %%OVH instead.", name.c_str());
        return dict_value(DICT_ORVEL, rest, out);
    }
    if (strword(OLD_PAYMENT_NAMES, rest) != npos) {
        ovdeprec("deprecated: %%OVM_%s token; use %%OVH_PAYMENT_INFO instead.", name.c_str());
        return dict_value(DICT_ORVEL, "PAYMENT_INFO", out);
    }
    return false;
}

bool shopper_token(std::string_view rest, std::string_view &out)
{
    if (dict_value(DICT_SHOPPER, rest, out)) return true;
    if (strword(OLD_CGI_NAMES, rest) != npos) {
        const std::string name(rest);
        ovdeprec("deprecated: %%OVE_%s token; use %%OVH_%s instead.", name.c_str(), name.c_str());
        return dict_value(DICT_ORVEL, rest, out);
    }
    if (rest == "REFERRER") return dict_value(DICT_ORVEL, "HTTP_REFERER", out);
    return false;
}

bool totals_token(std::string_view rest, std::string_view &out)
{
    // Every read asks for the tally; only the first one of the process
    // computes it.
    tally_order();
    if (dict_value(DICT_TOTALS, rest, out)) return true;
    if (std::string_view("ITEMS").find(rest) != npos) {
        ovdeprec("deprecated: %%OVT_ITEMS token; use %%OVT_SKUID instead.");
        return dict_value(DICT_TOTALS, "SKUID", out);
    }
    if (std::string_view("PRICE").find(rest) != npos) {
        ovdeprec("deprecated: %%OVT_%s token; use %%OVT_SUBTOTAL instead.", std::string(rest).c_str());
        return dict_value(DICT_TOTALS, "SUBTOTAL", out);
    }
    return false;
}

bool url_token(std::string_view rest, std::string_view &out)
{
    if (dict_value(DICT_URL, rest, out)) return true;
    std::string_view target;
    if (strbeg(rest, "FINISH_SECURE")) {
        ovdeprec("deprecated: %%OVU_%s token; use %%OVU_MAIN_SECURE instead.", std::string(rest).c_str());
        target = "MAIN_SECURE";
    } else if (strbeg(rest, "FINISH")) {
        ovdeprec("deprecated: %%OVU_%s token; use %%OVU_MAIN instead.", std::string(rest).c_str());
        target = "MAIN";
    } else {
        return false;
    }
    if (!dict_value(DICT_URL, target, out)) out = {};
    return true;
}

}  // namespace

var *entry(var *dict, std::string_view name)
{
    if (!dict) return nullptr;
    var *v = get_var(dict, name);
    return v == dict ? nullptr : v;
}

bool raw_complex_tokens()
{
    if (raw_complex_state < 0) raw_complex_state = config_boolean("RAW_COMPLEX_TOKENS") ? 1 : 0;
    return raw_complex_state == 1;
}

bool display_names_disabled()
{
    if (names_disabled_state < 0) names_disabled_state = config_boolean("DISABLE_FOO_NAMES") ? 1 : 0;
    return names_disabled_state == 1;
}

const std::string &unselected_quantity_text()
{
    if (!unselected_text) {
        var *v = entry(DICT_CONFIG, "UNSELECTED_QUANTITY");
        std::string text = v ? std::string(value_view(v->value)) : std::string("0");
        // "blank" or "empty" (or any part of "blank;empty") asks for no text.
        if (my_stristr("blank;empty", text) != npos) text.clear();
        unselected_text = std::move(text);
    }
    return *unselected_text;
}

void forget_switches()
{
    raw_complex_state = -1;
    names_disabled_state = -1;
    unselected_text.reset();
}

bool token_value(std::string_view name, std::string &scratch, std::string_view &out)
{
    if (name.size() < 3 || name[1] != '_') return false;
    const std::string_view rest = name.substr(2);
    switch (name[0]) {
    case 'A': case 'a':
        return dict_value(DICT_ARGS, rest, out);
    case 'C': case 'c':
        ovdeprec("deprecated: %%OVC token; construct hidden field with %%OVE.");
        return shopper_token(rest, out);
    case 'E': case 'e':
        return shopper_token(rest, out);
    case 'H': case 'h':
        if (dict_value(DICT_ORVEL, rest, out)) return true;
        return rest == "SHIP_SAME_AS_BILL" && ship_same_value(out);
    case 'N': case 'n':
        ovdeprec("deprecated: %%OVN token; use %%OVM_NOTE.");
        return config_token(rest, out);
    case 'M': case 'm':
        return config_token(rest, out);
    case 'O': case 'o':
        return dict_value(DICT_CURRENT_ORDER, rest, out);
    case 'T': case 't':
        return totals_token(rest, out);
    case 'U': case 'u':
        return url_token(rest, out);
    case 'V': case 'v':
        return dict_value(DICT_VARIABLES, rest, out);
    case 'D': case 'd':
        scratch = get_OVML_Token_Date(rest);
        break;
    case 'G': case 'g':
        scratch = std::to_string(get_selected_quantity_by_group(rest));
        break;
    case 'I': case 'i':
        scratch = get_OVML_DBREF_Info(nullptr, rest);
        break;
    case 'Q': case 'q':
        scratch = std::to_string(get_selected_quantity(rest));
        break;
    case 'S': case 's':
        scratch = get_OVML_Sum(rest);
        break;
    default:
        return false;
    }
    out = scratch;
    return true;
}

bool token_display_name(std::string_view name, std::string &scratch, std::string_view &out)
{
    if (name.size() < 3 || (name[0] != 'E' && name[0] != 'e') || name[1] != '_') return false;
    const std::size_t suffix = my_strend(name, "_NAME");
    if (suffix == npos || suffix <= 2) return false;
    if (display_names_disabled()) return false;

    // The choice the shopper made: E_SHIP_METHOD for E_SHIP_METHOD_NAME.
    const std::string_view field = name.substr(2, suffix - 2);
    std::string choice_name("E_");
    choice_name.append(field);
    std::string_view choice_view;
    if (!token_value(choice_name, scratch, choice_view) || choice_view.empty()) return false;
    const std::string choice(choice_view);

    std::string key(field);
    key += '_';
    key += choice;
    UPPERCASE(key);
    if (var *known = entry(DICT_NAMES, key); known && !value_view(known->value).empty()) {
        out = value_view(known->value);
        return true;
    }

    // The choice's line in the loop file that lists the choices:
    // "value;display name;...".
    maybe_get_custom_rules();
    const std::string loop(var_string(DICT_LOOPNAMES, field));
    std::optional<std::string> display;
    if (!loop.empty()) {
        bool owned = false;
        if (text *lines = get_loop_text(loop, &owned)) {
            for (textstring *line = lines->first; line && !display; line = line->next) {
                std::string_view s = triml_ws(line->string ? line->string : "");
                if (s.size() > choice.size() && s[choice.size()] == ';' && stribeg(s, choice)) {
                    std::string_view second = s.substr(choice.size() + 1);
                    display = std::string(trim_ws(second.substr(0, second.find(';'))));
                }
            }
            if (owned) free_text(lines);
        }
    }
    if (display) {
        if (var *stored = set_string(DICT_NAMES, key, *display)) {
            out = value_view(stored->value);
        } else {
            scratch = *display;
            out = scratch;
        }
        return true;
    }
    scratch = choice;
    out = scratch;
    return true;
}

}  // namespace ovml_tokens

void reset_token_state()
{
    ovml_tokens::forget_switches();
}
