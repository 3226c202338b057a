// Conditions: ORVEL_CHOICE, ORVEL_TRUE, ORVEL_FALSE, the tests they share,
// and ORVEL_REGEX with the regular-expression match behind the RE tests.
#include "ovml/elements.h"
#include "ovml/elements_std.h"
#include "ovml/registry.h"
#include "ovml/render.h"

#include "platform/files.h"
#include "search/compare.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdlib>
#include <regex.h>

namespace {

// Sub-match slots: the whole match and RE1 ... RE9.
constexpr std::size_t regex_slots = 10;

std::string regex_message(int code, const regex_t *re)
{
    const std::size_t size = ::regerror(code, re, nullptr, 0);
    std::string msg(size, '\0');
    ::regerror(code, re, msg.data(), msg.size());
    if (!msg.empty() && msg.back() == '\0') msg.pop_back();
    return msg;
}

double read_double(std::string_view text)
{
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

long read_long(std::string_view text)
{
    const std::string copy(text);
    return std::strtol(copy.c_str(), nullptr, 10);
}

enum class Test { None, Expr, Fexists, Re, Seq, Sne, Sin, Sni, Gt, Ge, Lt, Le, Eq, Ne, Mod };

// The test an attribute name asks for: the first prefix, in this order,
// that the name begins with.
Test test_of(std::string_view name)
{
    static const std::pair<std::string_view, Test> prefixes[] = {
        {"EXPR", Test::Expr}, {"FEXISTS", Test::Fexists}, {"RE", Test::Re}, {"SEQ", Test::Seq},
        {"SNE", Test::Sne},   {"SIN", Test::Sin},         {"SNI", Test::Sni}, {"GT", Test::Gt},
        {"GE", Test::Ge},     {"LT", Test::Lt},           {"LE", Test::Le},   {"EQ", Test::Eq},
        {"NE", Test::Ne},     {"MOD", Test::Mod},
    };
    for (const auto &[prefix, test] : prefixes)
        if (strbeg(name, prefix)) return test;
    return Test::None;
}

bool run_test(Test test, std::string_view operand, std::string_view text)
{
    switch (test) {
    case Test::Expr: return search_comp(operand, text);
    case Test::Fexists: return fn_exists(std::string(text)) == 1;
    case Test::Re: return !Orvel_regex_comp(operand, text).has_value();
    case Test::Seq: return strisame(operand, text);
    case Test::Sne: return !strisame(operand, text);
    case Test::Sin: return my_stristr(operand, text) != npos;
    case Test::Sni: return my_stristr(operand, text) == npos;
    case Test::Gt: return read_double(operand) > read_double(text);
    case Test::Ge: return read_double(operand) >= read_double(text);
    case Test::Lt: return read_double(operand) < read_double(text);
    case Test::Le: return read_double(operand) <= read_double(text);
    case Test::Eq: return read_double(operand) == read_double(text);
    case Test::Ne: return read_double(operand) != read_double(text);
    case Test::Mod: {
        // Holds when the operand is NOT a multiple: MOD=2 picks odd numbers.
        const long divisor = read_long(text);
        return divisor != 0 && read_long(operand) % divisor != 0;
    }
    case Test::None: break;
    }
    return false;
}

}  // namespace

std::optional<std::string> Orvel_regex_comp(std::string_view text, std::string_view pattern)
{
    for (std::size_t i = 0; i < regex_slots; ++i) set_template_variable("RE" + std::to_string(i), "");
    if (pattern.empty()) return std::string("no pattern");

    regex_t re;
    const std::string pat(pattern);
    if (int code = ::regcomp(&re, pat.c_str(), REG_EXTENDED | REG_ICASE); code != 0) {
        std::string msg = regex_message(code, &re);
        return msg;
    }
    const std::string subject(text);
    regmatch_t match[regex_slots];
    const int code = ::regexec(&re, subject.c_str(), regex_slots, match, 0);
    if (code != 0) {
        std::string msg = regex_message(code, &re);
        ::regfree(&re);
        return msg;
    }
    ::regfree(&re);
    for (std::size_t i = 0; i < regex_slots; ++i) {
        if (match[i].rm_so < 0) continue;
        const auto from = static_cast<std::size_t>(match[i].rm_so);
        const auto to = static_cast<std::size_t>(match[i].rm_eo);
        set_template_variable("RE" + std::to_string(i), std::string_view(subject).substr(from, to - from));
    }
    return std::nullopt;
}

bool evaluate_OVML_Choice(const OVMLAttributes &attrs)
{
    const std::string operand(attrs.get("TOKEN"));
    const bool all = attrs.flag("AND");
    bool any_test = false;
    for (var *a = attrs.first(); a; a = a->next) {
        const Test test = test_of(a->name ? std::string_view(a->name) : std::string_view());
        if (test == Test::None) continue;
        any_test = true;
        const bool holds = run_test(test, operand, value_view(a->value));
        if (all && !holds) return false;
        if (!all && holds) return true;
    }
    if (!any_test) return is_true(operand);
    return all;
}

std::string do_OVML_Choice(TagDef &def)
{
    OVMLAttributes attrs(def);
    return std::string(attrs.get(evaluate_OVML_Choice(attrs) ? "TRUE" : "FALSE"));
}

std::string do_OVML_True(TagDef &def)
{
    OVMLAttributes attrs(def);
    if (!evaluate_OVML_Choice(attrs)) return "";
    return render_OVML_Text(def.body_lines());
}

std::string do_OVML_False(TagDef &def)
{
    OVMLAttributes attrs(def);
    if (evaluate_OVML_Choice(attrs)) return "";
    return render_OVML_Text(def.body_lines());
}

std::string do_OVML_Regex(TagDef &def)
{
    OVMLAttributes attrs(def);
    const std::optional<std::string> failure =
        Orvel_regex_comp(attrs.get("VALUE"), attrs.get_either("PATTERN", "RE"));
    if (failure) return Orvel_OVML_output_error("Orvel-Regex error: %s", failure->c_str());
    return "";
}
