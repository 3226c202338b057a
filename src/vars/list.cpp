// Lists of values, the conversions between lists, dictionaries and
// delimited strings, and the attribute parser to_fields.

#include "vars/list.h"

#include "vars/vars.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

value *string_value(std::string_view s)
{
    return create_value(TYPE_STRING, dup_cstring(s));
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string upcased(std::string_view s)
{
    std::string out(s);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// One parsed attribute goes into the dictionary.
class FieldSink {
public:
    FieldSink(var *dict, bool upcase, char joiner) : dict_(dict), upcase_(upcase), joiner_(joiner) {}

    void flag(std::string_view name) { set_integer(dict_, key(name), 1); }

    void text(std::string_view name, std::string_view val)
    {
        const std::string k = key(name);
        if (joiner_) {
            if (var *old = get_var(dict_, std::string_view(k))) {
                const std::string_view before = value_view(old->value);
                if (!before.empty()) {
                    std::string joined;
                    joined.reserve(before.size() + 1 + val.size());
                    joined.append(before).push_back(joiner_);
                    joined.append(val);
                    set_string(dict_, k, joined);
                    return;
                }
            }
        }
        set_string(dict_, k, val);
    }

private:
    std::string key(std::string_view name) const { return upcase_ ? upcased(name) : std::string(name); }

    var *dict_;
    bool upcase_;
    char joiner_;
};

}  // namespace

// ---- lists ---------------------------------------------------------------

list *new_list(int capacity)
{
    if (capacity < 0)
        capacity = 0;
    auto *l = static_cast<list *>(std::calloc(1, sizeof(list)));
    if (!l)
        std::abort();
    if (capacity > 0) {
        l->items = static_cast<value **>(std::calloc(static_cast<std::size_t>(capacity), sizeof(value *)));
        if (!l->items)
            std::abort();
    }
    l->capacity = capacity;
    l->count = 0;
    return l;
}

void grow_list(list *l, int capacity)
{
    if (!l)
        return;
    if (capacity < 0)
        capacity = 0;
    // Shrinking below the count releases the values that no longer fit.
    if (capacity < l->count)
        list_truncate(l, capacity);
    value **items = nullptr;
    if (capacity > 0) {
        items = static_cast<value **>(std::calloc(static_cast<std::size_t>(capacity), sizeof(value *)));
        if (!items)
            std::abort();
        for (int i = 0; i < l->count; ++i)
            items[i] = l->items[i];
    }
    std::free(l->items);
    l->items = items;
    l->capacity = capacity;
}

void init_list(list *l, int from)
{
    if (!l || !l->items)
        return;
    for (int i = from < 0 ? 0 : from; i < l->capacity; ++i)
        l->items[i] = nullptr;
}

value *list_append(list *l, value *val)
{
    if (!l)
        return val;
    if (l->count + 1 >= l->capacity)
        grow_list(l, l->count + 8);
    l->items[l->count++] = val;
    return val;
}

value *list_fetch(list *l, int index)
{
    if (!l || index < 0 || index >= l->count)
        return nullptr;
    return l->items[index];
}

void list_truncate(list *l, int from)
{
    if (!l)
        return;
    if (from < 0)
        from = 0;
    if (from >= l->count)
        return;
    for (int i = from; i < l->count; ++i) {
        free_value(l->items[i]);
        l->items[i] = nullptr;
    }
    l->count = from;
}

void free_list(list *l)
{
    if (!l)
        return;
    list_truncate(l, 0);
    std::free(l->items);
    std::free(l);
}

char *list_serialize(list *l, char separator)
{
    std::string out;
    if (l) {
        for (int i = 0; i < l->count && l->items[i]; ++i) {
            if (i > 0 && separator)
                out.push_back(separator);
            out += value_as_string(l->items[i]);
        }
    }
    return dup_cstring(out);
}

list *list_deserialize(const char *string, char separator)
{
    list *l = new_list(1);
    if (!string || !*string)
        return l;
    const std::string_view s(string);
    std::size_t start = 0;
    for (;;) {
        const std::size_t cut = separator ? s.find(separator, start) : std::string_view::npos;
        if (cut == std::string_view::npos) {
            list_append(l, string_value(s.substr(start)));
            break;
        }
        list_append(l, string_value(s.substr(start, cut - start)));
        start = cut + 1;
    }
    return l;
}

list *Orvel_explode_into_list(const char *string, char separator, int collapse)
{
    list *l = new_list(1);
    if (!string || !*string)
        return l;
    const std::string_view s(string);
    if (!separator) {
        list_append(l, string_value(s));
        return l;
    }
    std::size_t start = 0;
    if (collapse) {
        start = s.find_first_not_of(separator);
        if (start == std::string_view::npos) {
            list_append(l, string_value(""));
            return l;
        }
    }
    while (start < s.size()) {
        std::size_t cut = s.find(separator, start);
        if (cut == std::string_view::npos)
            cut = s.size();
        list_append(l, string_value(s.substr(start, cut - start)));
        if (cut >= s.size())
            break;
        start = cut + 1;
        if (collapse) {
            start = s.find_first_not_of(separator, start);
            if (start == std::string_view::npos)
                break;
        }
    }
    return l;
}

var *list_into_var(list *l, var *dict)
{
    return sublist_into_var(l, dict, 0, l ? l->count - 1 : -1);
}

var *sublist_into_var(list *l, var *dict, int first, int last)
{
    if (!dict)
        dict = new_var(nullptr);
    if (!l)
        return dict;
    for (int i = first < 0 ? 0 : first; i <= last && i < l->count; ++i) {
        if (l->items[i])
            set_none(dict, value_view(l->items[i]));
    }
    return dict;
}

list *var_list_keys(var *dict)
{
    list *l = new_list(1);
    if (!dict)
        return l;
    for (var *v = dict->next; v; v = v->next)
        list_append(l, string_value(v->name ? v->name : ""));
    return l;
}

// ---- attribute parsing -----------------------------------------------------

int to_fields(std::string_view text, var *dict, bool upcase, char joiner)
{
    if (!dict)
        return 0;
    FieldSink sink(dict, upcase, joiner);
    const std::size_t n = text.size();
    std::size_t i = 0;
    auto skip_space = [&](std::size_t from) {
        while (from < n && is_space(text[from]))
            ++from;
        return from;
    };

    i = skip_space(0);
    std::size_t name_start = i;
    while (i < n) {
        // Reading a name.
        while (i < n && !is_space(text[i]) && text[i] != '=')
            ++i;
        const std::string_view name = text.substr(name_start, i - name_start);
        if (i == n) {
            if (!name.empty())
                sink.flag(name);
            return 0;
        }
        if (is_space(text[i])) {
            const std::size_t next = skip_space(i);
            if (next == n || text[next] != '=') {
                sink.flag(name);
                i = name_start = next;
                continue;
            }
            i = next;
        }
        // At '=': the value starts after any white space.
        i = skip_space(i + 1);
        if (i == n)
            return 0;
        if (text[i] == '"' || text[i] == '\'') {
            const char quote = text[i];
            const std::size_t close = text.find(quote, i + 1);
            if (close == std::string_view::npos)
                return 0;  // an unfinished quoted value is dropped
            sink.text(name, text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            const std::size_t start = i;
            while (i < n && !is_space(text[i]))
                ++i;
            sink.text(name, text.substr(start, i - start));
        }
        i = name_start = skip_space(i);
    }
    return 0;
}

int to_fields(const char *text, var *dict, int upcase, char joiner)
{
    if (!text)
        return 0;
    return to_fields(std::string_view(text), dict, upcase != 0, joiner);
}

int to_fields(const char *text, var *dict, bool upcase, char joiner)
{
    return to_fields(text, dict, upcase ? 1 : 0, joiner);
}
