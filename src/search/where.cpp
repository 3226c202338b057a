// Database conditions for plug-ins that keep the catalog in a database:
// a specification, or a list of product ids, as the text of a WHERE
// clause.  The program itself searches the products file and never calls
// these.  Inserted values have single quotes and backslashes doubled, and
// only names made of A-Z, 0-9 and '_' are written, so a value can never
// end its quoted string and a name can never carry SQL of its own.
#include "search/search_spec.h"

#include "strings/strutil.h"
#include "vars/vars.h"

#include <string>

namespace {

bool is_column_name(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

std::string quoted(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 2);
    for (char c : value) {
        if (c == '\'' || c == '\\') out += c;
        out += c;
    }
    return out;
}

std::string condition(const SearchWord &word) {
    const std::string field(word.field);
    const std::string value = quoted(word.pattern);
    switch (word.comparison) {
    case '$': return field + " RLIKE '" + value + "$'";
    case '%': return field + " RLIKE '[[:<:]]" + value + "[[:>:]]'";
    case ':': return field + " LIKE '%" + value + "%'";
    case '<': return dupsprintf("%s < %.2f", field.c_str(), word.number);
    case '=': return field + " = '" + value + "'";
    case '>': return dupsprintf("%s > %.2f", field.c_str(), word.number);
    case '[': return field + " RLIKE '[[:<:]]" + value + "'";
    case ']': return field + " RLIKE '" + value + "[[:>:]]'";
    case '^': return field + " RLIKE '^" + value + "'";
    default: return "NOT NULL";
    }
}

}  // namespace

std::string search_spec_where(const SearchSpec *spec) {
    std::string out;
    for (const SearchWord *w = spec ? spec->first : nullptr; w; w = w->next) {
        if (!is_column_name(w->field)) continue;
        if (!out.empty()) out += " AND ";
        if (w->logic == '-') out += "NOT ";
        out += '(' + condition(*w) + ')';
    }
    return out;
}

std::optional<std::string> skuid_list_where(const std::vector<std::string> &ids, std::string_view column) {
    if (!is_column_name(column)) return std::nullopt;
    std::string out(column);
    out += " in (";
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (i) out += ',';
        out += '\'' + quoted(ids[i]) + '\'';
    }
    out += ')';
    return out;
}

extern "C" char *search_spec_to_where_statement(const SearchSpec *spec) {
    return dup_cstring(search_spec_where(spec));
}

extern "C" char *skuid_list_to_where_statement(const list *ids, const char *column) {
    std::vector<std::string> names;
    for (int i = 0; ids && i < ids->count; ++i)
        if (ids->items[i]) names.emplace_back(value_view(ids->items[i]));
    std::optional<std::string> out = skuid_list_where(names, column ? column : "");
    return out ? dup_cstring(*out) : nullptr;
}
