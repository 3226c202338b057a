// Computing into template variables: ORVEL_MATH, ORVEL_VSET, ORVEL_DATE,
// ORVEL_SUBST, ORVEL_STRIP, ORVEL_EXPLODE, ORVEL_DIGEST, ORVEL_GETENV and
// ORVEL_CURRENCY.
#include "ovml/elements.h"
#include "ovml/elements_std.h"
#include "ovml/registry.h"
#include "ovml/tokens.h"

#include "catalog/selection.h"
#include "cgi/output.h"
#include "platform/digest.h"
#include "platform/files.h"
#include "rules/currency.h"
#include "strings/encodings.h"
#include "strings/random.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

double read_double(std::string_view text)
{
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

// The RESULT name: upper-cased, `def` when absent or empty.
std::string result_name_upper(const OVMLAttributes &attrs, std::string_view def)
{
    std::string_view name = attrs.get("RESULT");
    return upper(name.empty() ? def : name);
}

// The RESULT name as written, `def` when absent or empty.
std::string result_name_as_written(const OVMLAttributes &attrs, std::string_view def)
{
    std::string_view name = attrs.get("RESULT");
    return std::string(name.empty() ? def : name);
}

// ---- ORVEL_MATH --------------------------------------------------------------

void apply_operation(double &acc, std::string_view op)
{
    if (op.empty()) return;
    const double operand = read_double(op.substr(1));
    switch (op.front()) {
    case '+': acc += operand; break;
    case '-': acc -= operand; break;
    case '*':
    case 'X':
    case 'x': acc *= operand; break;
    case '/':
        if (operand != 0.0) acc /= operand;
        break;
    case '%': {
        const double divisor = std::trunc(operand);
        if (divisor != 0.0 && !std::isnan(divisor)) acc = std::fmod(std::trunc(acc), divisor);
        break;
    }
    default: break;
    }
}

// The accumulator in `base`, left-padded with '0' to `width`; "" when the
// conversion fails.
std::string math_in_base(double acc, int base, int width)
{
    long n = 0;
    if (!std::isnan(acc)) {
        if (acc >= static_cast<double>(LONG_MAX)) n = LONG_MAX;
        else if (acc <= static_cast<double>(LONG_MIN)) n = LONG_MIN;
        else n = static_cast<long>(acc);
    }
    std::optional<std::string> digits = Orvel_tobaseXX(n, base);
    if (!digits) return "";
    if (static_cast<int>(digits->size()) < width)
        digits->insert(0, static_cast<std::size_t>(width) - digits->size(), '0');
    return *digits;
}

// ---- ORVEL_VSET ------------------------------------------------------------------

// Where VSET stores: a dictionary, or the cart.
struct VsetTarget {
    var *dict = nullptr;
    bool cart = false;
};

VsetTarget target_of_root(std::string_view root)
{
    if (root.empty() || strisame(root, "VARIABLES")) return {DICT_VARIABLES};
    if (strisame(root, "SELECTED")) return {nullptr, true};
    static const std::pair<std::string_view, var **> roots[] = {
        {"SHOPPER", &DICT_SHOPPER}, {"INPUT", &DICT_INPUT},   {"COOKIES", &DICT_COOKIES},
        {"ORVEL", &DICT_ORVEL},     {"CONFIG", &DICT_CONFIG}, {"TOTALS", &DICT_TOTALS},
    };
    for (const auto &[name, dict] : roots)
        if (strisame(root, name)) return {*dict};
    if (stribeg(root, "URL")) return {DICT_URL};
    if (stribeg(root, "ARG")) return {DICT_ARGS};
    return {};
}

VsetTarget target_of_token_letter(char letter)
{
    switch (letter) {
    case 'E': case 'e': return {DICT_SHOPPER};
    case 'H': case 'h': return {DICT_ORVEL};
    case 'M': case 'm': return {DICT_CONFIG};
    case 'O': case 'o': return {DICT_CURRENT_ORDER};
    case 'Q': case 'q': return {nullptr, true};
    case 'U': case 'u': return {DICT_URL};
    default: return {DICT_VARIABLES};
    }
}

// ---- ORVEL_DATE ------------------------------------------------------------------

std::time_t date_base(const OVMLAttributes &attrs)
{
    if (attrs.flag("LASTMOD")) {
        std::string_view top = DICT_ORVEL ? var_string(DICT_ORVEL, "TOP_DOC") : std::string_view();
        if (top.empty()) return 0;
        const std::time_t when = fn_lastmod(std::string(top));
        return when < 0 ? 0 : when;
    }
    if (std::string_view secs = attrs.get("REFSECONDS"); !secs.empty()) {
        const std::string copy(secs);
        return static_cast<std::time_t>(std::strtoul(copy.c_str(), nullptr, 10));
    }
    if (std::string_view date = attrs.get("REFDATE"); !date.empty())
        return Orvel_datetoseconds(std::string(date).c_str());
    return std::time(nullptr);
}

std::string date_text(const OVMLAttributes &attrs, std::time_t when)
{
    const bool gmt = attrs.flag("GMT");
    if (attrs.flag("SECONDS")) return dupsprintf("%lu", static_cast<unsigned long>(when));
    if (attrs.flag("FORACOOKIE")) return cookie_time(when);
    if (attrs.flag("ORVELDATE")) return my_timesub("%Y%m%d%H%M%S", &when, gmt);
    if (std::string_view format = attrs.get("FORMAT"); !format.empty())
        return my_timesub(std::string(format).c_str(), &when, gmt);
    return new_ctime(when, gmt);
}

}  // namespace

std::string do_OVML_Math(TagDef &def)
{
    OVMLAttributes attrs(def);
    const int from_base = attrs.integer("FROMBASE", 0);
    double acc = from_base != 0 ? static_cast<double>(Orvel_frombaseXX(attrs.get("VALUE"), from_base))
                                : read_double(attrs.get("VALUE"));
    for (var *a = attrs.first(); a; a = a->next)
        if (a->name && stribeg(a->name, "OP")) apply_operation(acc, value_view(a->value));

    const std::string result = result_name_upper(attrs, "RESULT");
    const std::string base_text(attrs.get("BASE"));
    const double base = std::strtof(base_text.c_str(), nullptr);
    if (base == 0.0 || std::isnan(base)) {
        if (strisame(attrs.get("TYPE"), "FLOAT")) set_template_float(result, acc);
        else set_template_integer(result, cut_to_int(acc));
        return "";
    }
    // The first two decimals of BASE give the width: 16.04 is four digits
    // in base 16.  Rounding absorbs the single-precision error of the
    // fraction.
    const double whole = std::trunc(base);
    const int width = static_cast<int>(std::min(99L, std::lround(std::fabs(base - whole) * 100.0)));
    set_template_variable(result, math_in_base(acc, cut_to_int(whole), width));
    return "";
}

std::string do_OVML_Vset(TagDef &def)
{
    OVMLAttributes attrs(def, OVMLAttributes::Tokens::Keep);
    const std::string token(attrs.get("TOKEN"));
    attrs.render_tokens();

    VsetTarget target;
    std::string name;
    if (!token.empty()) {
        if (strbeg(token, "%OV") && token.size() > 5) {
            target = target_of_token_letter(token[3]);
            name = token.substr(5);
        } else {
            target = {DICT_VARIABLES};
            name = token;
        }
    } else {
        target = target_of_root(attrs.get("ROOT"));
        name = attrs.get("NAME");
    }
    UPPERCASE(name);
    if (name.empty()) return "";

    if (target.cart) {
        set_selected_quantity(name, attrs.integer("VALUE", 0));
        return "";
    }
    if (!target.dict) return "";
    int random = attrs.integer("RANDOM", 0);
    if (random != 0) {
        random = random < 0 ? 1 : std::min(random, 8192);
        set_string(target.dict, name, Orvel_random_word(random));
    } else {
        set_string(target.dict, name, attrs.get("VALUE"));
    }
    return "";
}

std::string do_OVML_Date(TagDef &def)
{
    OVMLAttributes attrs(def);
    std::time_t when = date_base(attrs);
    if (std::string_view adjust = attrs.get("ADJUST"); !adjust.empty()) {
        // An adjustment that does not read as direction, number, unit
        // leaves the time as it was.
        long unit = -1;
        const std::time_t moved = Orvel_OVML_adjust_time(adjust, &when, &unit);
        if (unit != -1) when = moved;
    }
    std::string text = date_text(attrs, when);
    if (std::string_view result = attrs.get("RESULT"); !result.empty()) {
        set_template_variable(upper(result), text);
        return "";
    }
    return text;
}

std::string do_OVML_Subst(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string value(attrs.get("VALUE"));
    std::string pattern;
    if (attrs.has("RE")) {
        const std::string re(attrs.get("RE"));
        pattern = Orvel_regex_comp(value, re) ? re : std::string(var_string(DICT_VARIABLES, "RE0"));
    } else {
        pattern = attrs.get("SEARCH");
    }
    std::string out = strsub(value, pattern, attrs.get("REPLACE"));
    if (attrs.flag("UPPERCASE")) UPPERCASE(out);
    else if (attrs.flag("LOWERCASE")) lowercase(out);

    const std::string_view cap = attrs.get("CAPITALIZE");
    if (stribeg(cap, "word")) Orvel_Capitalize_words(out);
    else if (stribeg(cap, "sentence")) Orvel_Capitalize_sentences(out);
    else if (attrs.flag("CAPITALIZE") && !out.empty()) out[0] = upper(out.substr(0, 1))[0];

    set_template_variable(result_name_as_written(attrs, "RESULT"), out);
    return "";
}

std::string do_OVML_Strip(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string_view src = attrs.get_either("SRC", "VALUE");
    std::string out = attrs.flag("COMPLEMENT") ? strstripc(src, attrs.get("CHARS")) : strstrip(src, attrs.get("CHARS"));
    if (std::string_view result = attrs.get("RESULT"); !result.empty()) {
        set_template_variable(upper(result), out);
        return "";
    }
    return out;
}

std::string do_OVML_Explode(TagDef &def)
{
    OVMLAttributes attrs(def);
    std::string_view delimiter = attrs.get("DELIMITER");
    const char separator = delimiter.empty() ? ';' : delimiter.front();
    std::string_view prefix_attr = attrs.get("PREFIX");
    const std::string prefix = upper(prefix_attr.empty() ? std::string_view("WORD") : prefix_attr);

    const std::string src(attrs.get("SRC"));
    text *words = to_words(src.c_str(), separator);
    int n = 0;
    for (textstring *w = words->first; w; w = w->next) {
        n = n >= 9999 ? 1 : n + 1;
        set_template_variable(prefix + std::to_string(n), w->string ? w->string : "");
    }
    free_text(words);
    return "";
}

std::string do_OVML_Digest(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string_view value = attrs.get("VALUE");
    const std::string digest = strisame(attrs.get("TYPE"), "HMAC") ? Orvel_Digest_HMAC_Hex(value, attrs.get("KEY"))
                                                                    : Orvel_Digest_MD5_Hex(value);
    set_template_variable(result_name_as_written(attrs, "RESULT"), digest);
    return "";
}

std::string do_OVML_Getenv(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::string name(attrs.get("NAME"));
    if (name.empty()) return "";
    set_template_variable(result_name_upper(attrs, "RESULT"), Orvel_getenv(name.c_str()));
    return "";
}

std::string do_OVML_Currency(TagDef &def)
{
    OVMLAttributes attrs(def);
    std::string_view type = attrs.get("TYPE");
    if (type.empty() && DICT_SHOPPER) type = var_string(DICT_SHOPPER, "CURRENCY");
    const double converted = convert_currency(read_double(attrs.get("AMOUNT")), lower(type));
    std::string text = converted < 0 ? std::string("n/a") : dupsprintf("%.2f", converted);
    if (std::string_view result = attrs.get("RESULT"); !result.empty()) {
        set_template_variable(upper(result), text);
        return "";
    }
    return text;
}
