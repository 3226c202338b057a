// Pieces shared by the standard element handlers: attribute parsing and
// the template-variable stores.
#include "ovml/elements_std.h"

#include "ovml/tokens.h"
#include "strings/strutil.h"
#include "vars/list.h"
#include "vars/vars.h"

#include <climits>
#include <cmath>

OVMLAttributes::OVMLAttributes(const TagDef &def, Tokens tokens) : dict_(new_dict(""))
{
    to_fields(std::string_view(def.tag_text()), dict_, true, '\0');
    if (tokens == Tokens::Render) render_tokens();
}

OVMLAttributes::~OVMLAttributes() { nuke_var(dict_); }

void OVMLAttributes::render_tokens() { OVMLify_fields(dict_->next); }

std::string_view OVMLAttributes::get(std::string_view name) const { return var_string(dict_, name); }

std::string_view OVMLAttributes::get_either(std::string_view name, std::string_view other) const
{
    return has(name) ? get(name) : get(other);
}

bool OVMLAttributes::has(std::string_view name) const { return var_defined(dict_, name); }

bool OVMLAttributes::flag(std::string_view name) const { return var_boolean(dict_, name); }

int OVMLAttributes::integer(std::string_view name, int def) const { return var_integer(dict_, name, def); }

var *OVMLAttributes::first() const { return dict_->next; }

void set_template_variable(std::string_view name, std::string_view text)
{
    if (DICT_VARIABLES && !name.empty()) set_string(DICT_VARIABLES, name, text);
}

void set_template_integer(std::string_view name, int n)
{
    if (DICT_VARIABLES && !name.empty()) set_integer(DICT_VARIABLES, name, n);
}

void set_template_float(std::string_view name, double f)
{
    if (DICT_VARIABLES && !name.empty()) set_float(DICT_VARIABLES, name, f);
}

int cut_to_int(double f)
{
    if (std::isnan(f)) return 0;
    if (f >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (f <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(f);
}
