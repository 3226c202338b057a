// What the standard element handlers share: the attribute dictionary each
// handler parses from its tag, the condition test of the choice elements,
// the regular-expression match that also sets RE0 ... RE9 (used by the
// search-term substitution as well), and the naming of result variables.
#pragma once

#include "ovml/scanner.h"

#include <orvel.h>

#include <optional>
#include <string>
#include <string_view>

// The attributes of one element tag, parsed by to_fields into a private
// dictionary (names upper-cased, the last of a repeated name wins, the
// element's own name present as a flag), in the order written.
class OVMLAttributes {
public:
    enum class Tokens { Render, Keep };
    // With Tokens::Render every string attribute is token-rendered at once;
    // with Tokens::Keep they stay as written until render_tokens().
    explicit OVMLAttributes(const TagDef &def, Tokens tokens = Tokens::Render);
    ~OVMLAttributes();
    OVMLAttributes(const OVMLAttributes &) = delete;
    OVMLAttributes &operator=(const OVMLAttributes &) = delete;

    void render_tokens();

    // The attribute's text ("" when absent; a flag reads "1").  The view
    // stays valid while the attributes live and are not re-rendered.
    std::string_view get(std::string_view name) const;
    // The text of the first name present, "" when none is.
    std::string_view get_either(std::string_view name, std::string_view other) const;
    bool has(std::string_view name) const;
    // The attribute's truth: numeric text not 0, other text not empty.
    bool flag(std::string_view name) const;
    // The attribute read as a decimal integer; `def` when absent or not a
    // number.
    int integer(std::string_view name, int def) const;
    // The first attribute in written order (its chain follows), or null.
    var *first() const;

private:
    var *dict_;
};

// The condition of ORVEL_CHOICE, ORVEL_TRUE and ORVEL_FALSE: the tests
// written as attributes (EXPR, FEXISTS, RE, SEQ, SNE, SIN, SNI, GT, GE,
// LT, LE, EQ, NE, MOD prefixes) applied to the TOKEN attribute, joined by
// "or", or by "and" when AND is true; with no tests, the truth of TOKEN.
bool evaluate_OVML_Choice(const OVMLAttributes &attrs);

// Empties RE0 ... RE9 in DICT_VARIABLES, then matches `pattern` (POSIX
// extended, ignoring case) against `text`.  On a match RE0 holds the whole
// match and RE1 ... RE9 the sub-matches that took part, and nullopt is
// returned; otherwise the reason ("no pattern", or the regular-expression
// library's message for the compile or match failure).
std::optional<std::string> Orvel_regex_comp(std::string_view text, std::string_view pattern);

// Stores a string (or integer, or float) in DICT_VARIABLES.
void set_template_variable(std::string_view name, std::string_view text);
void set_template_integer(std::string_view name, int n);
void set_template_float(std::string_view name, double f);

// A double cut toward zero into the int range (NaN gives 0).
int cut_to_int(double f);
