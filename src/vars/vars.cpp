// Typed values, named variables and dictionaries.  The records are C
// structs shared with plug-ins, so they and their strings are made with
// malloc and released with free.  Large dictionaries carry a name index on
// their head record (dict_index.h); every function that links or unlinks
// records keeps it in step with the chain.

#include "vars/vars.h"

#include "vars/dict_index.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A malloc'd copy of the text (terminated).
char *dup_string(std::string_view s)
{
    auto *p = static_cast<char *>(std::malloc(s.size() + 1));
    if (!p)
        std::abort();
    if (!s.empty())
        std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    return p;
}

std::string format_text(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format_text(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, again);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    return out;
}

// Optional sign, then one or more digits or '.', with at most one '.'.
bool numeric_text(const char *s)
{
    if (*s == '+' || *s == '-')
        ++s;
    if (!*s)
        return false;
    int dots = 0;
    for (; *s; ++s) {
        if (*s == '.') {
            if (++dots > 1)
                return false;
        } else if (*s < '0' || *s > '9') {
            return false;
        }
    }
    return true;
}

char ascii_lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_ignoring_case(const char *a, std::string_view b)
{
    std::size_t i = 0;
    for (; i < b.size(); ++i) {
        if (!a[i] || ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    }
    return a[i] == '\0';
}

var *chain_head(var *v)
{
    while (v->previous)
        v = v->previous;
    return v;
}

var *make_var(std::string_view name, uint32_t hash, value *val)
{
    auto *v = static_cast<var *>(std::calloc(1, sizeof(var)));
    if (!v)
        std::abort();
    v->name = dup_string(name);
    v->hash = hash;
    v->value = val ? val : new_value();
    return v;
}

var *find_linear(var *from, std::string_view name)
{
    const uint32_t h = var_name_hash(name);
    for (var *v = from; v; v = v->next) {
        if (v->hash == h && v->name && std::string_view(v->name) == name)
            return v;
    }
    return nullptr;
}

// Lookup from `dict` on: through the index when `dict` is an indexed head,
// otherwise along the chain.
var *find_record(var *dict, std::string_view name)
{
    if (!dict)
        return nullptr;
    if (!dict->previous) {
        if (DictIndex *idx = dict_index(dict)) {
            var *v = idx->find(name);
            if (!v && idx->sync())
                v = idx->find(name);
            return v;
        }
    }
    return find_linear(dict, name);
}

void replace_value(var *v, value *val)
{
    if (v->value == val)
        return;
    free_value(v->value);
    v->value = val;
}

// The store: replace the value of an existing name in place, or append a
// new record at the end of the chain.  Takes the value over.
var *store_value(var *dict, std::string_view name, value *val)
{
    if (!dict) {
        free_value(val);
        return nullptr;
    }
    if (!val)
        val = new_value();

    if (!dict->previous && dict->index) {
        DictIndex *idx = dict_index(dict);
        var *v = idx->find(name);
        if (!v && idx->sync())
            v = idx->find(name);
        if (v) {
            replace_value(v, val);
            return v;
        }
        var *last = idx->tail();
        var *nv = make_var(name, var_name_hash(name), val);
        nv->previous = last;
        last->next = nv;
        idx->insert(nv);
        idx->set_tail(nv);
        idx->add_entries(1);
        return nv;
    }

    const uint32_t h = var_name_hash(name);
    var *last = dict;
    int records = 0;
    for (var *v = dict; v; v = v->next) {
        if (v->hash == h && v->name && std::string_view(v->name) == name) {
            replace_value(v, val);
            return v;
        }
        last = v;
        ++records;
    }
    var *nv = make_var(name, h, val);
    nv->previous = last;
    last->next = nv;

    if (!dict->previous) {
        // `records` counted the head, so it is now the number of entries.
        if (records > DICT_INDEX_THRESHOLD)
            dict_index_build(dict);
    } else if (DictIndex *idx = dict_index(chain_head(dict))) {
        idx->sync();  // a store that began mid-chain appended to the head's chain
    }
    return nv;
}

void unset_record(var *dict, std::string_view name)
{
    var *v = find_record(dict, name);
    // The record the lookup starts from is the caller's handle on the
    // chain; it is never unlinked from under it.
    if (!v || v == dict)
        return;
    var *head = dict->previous ? chain_head(dict) : dict;
    if (DictIndex *idx = dict_index(head)) {
        if (idx->tail() == v)
            idx->set_tail(v->previous);
        idx->erase(v);
        idx->add_entries(-1);
    }
    if (v->previous)
        v->previous->next = v->next;
    if (v->next)
        v->next->previous = v->previous;
    v->previous = v->next = nullptr;
    free_var(v);
}

value *copy_value(const value *src)
{
    value *out = new_value();
    if (!src)
        return out;
    switch (src->type) {
    case TYPE_INTEGER:
    case TYPE_FLOAT:
    case TYPE_VOID:
        out->type = src->type;
        out->payload = src->payload;
        break;
    case TYPE_STRING:
        out->type = TYPE_STRING;
        out->payload.p = src->payload.p ? dup_string(static_cast<const char *>(src->payload.p))
                                        : nullptr;
        break;
    case TYPE_VAR:
        out->type = TYPE_VAR;
        out->payload.p = copy_var(static_cast<var *>(src->payload.p), nullptr, 1);
        break;
    default:
        break;
    }
    return out;
}

std::string render_value(const value *val)
{
    switch (val->type) {
    case TYPE_INTEGER:
        return format_text("%ld", static_cast<long>(val->payload.i));
    case TYPE_FLOAT:
        return format_text("%.2f", val->payload.f);
    case TYPE_VAR:
        return "{TYPE_VAR}";
    case TYPE_TEXT: {
        std::string out;
        if (const auto *t = static_cast<const text *>(val->payload.p)) {
            for (const textstring *n = t->first; n; n = n->next) {
                if (n->string)
                    out += n->string;
            }
        }
        return out;
    }
    case TYPE_VOID:
        return format_text("%p", val->payload.p);
    default:
        return {};
    }
}

int clamp_to_int(long n)
{
    if (n > INT_MAX)
        return INT_MAX;
    if (n < INT_MIN)
        return INT_MIN;
    return static_cast<int>(n);
}

unsigned long varname_counter = 0;

}  // namespace

// ---- names -------------------------------------------------------------

uint32_t var_name_hash(std::string_view name)
{
    uint32_t h = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto widened = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(name[i])));
        h ^= widened << (i % 32);
    }
    return h;
}

char *new_varname(void)
{
    return dup_string(format_text(" %lu", varname_counter++));
}

// ---- variables and dictionaries ------------------------------------------

var *new_var(const char *name)
{
    if (!name) {
        char *generated = new_varname();
        var *v = make_var(generated, var_name_hash(generated), nullptr);
        std::free(generated);
        return v;
    }
    return make_var(name, var_name_hash(name), nullptr);
}

var *create_var(const char *name, ...)
{
    var *dict = new_var(name);
    va_list ap;
    va_start(ap, name);
    for (;;) {
        const char *key = va_arg(ap, const char *);
        if (!key)
            break;
        value *val = va_arg(ap, value *);
        if (!val)
            break;
        set_var_as_value(dict, key, val);
    }
    va_end(ap);
    return dict;
}

var *set_var(var *dict, const char *name, int type, ...)
{
    value *val = new_value();
    va_list ap;
    va_start(ap, type);
    value_vset(val, type, ap);
    va_end(ap);
    return set_var_as_value(dict, name, val);
}

var *set_var_as_value(var *dict, const char *name, value *val)
{
    if (!dict) {
        free_value(val);
        return nullptr;
    }
    if (name)
        return store_value(dict, name, val);
    char *generated = new_varname();
    var *v = store_value(dict, generated, val);
    std::free(generated);
    return v;
}

var *get_var(var *dict, const char *name)
{
    return name ? find_record(dict, name) : nullptr;
}

var *get_var_case_insensitive(var *dict, const char *name)
{
    if (!name)
        return nullptr;
    const std::string_view wanted(name);
    for (var *v = dict; v; v = v->next) {
        if (v->name && same_ignoring_case(v->name, wanted))
            return v;
    }
    return nullptr;
}

const char *var_reverse_integer_lookup(var *dict, int n)
{
    for (var *v = dict; v; v = v->next) {
        if (v->value && v->value->type == TYPE_INTEGER && v->value->payload.i == n)
            return v->name;
    }
    return nullptr;
}

void unset_var(var *dict, const char *name)
{
    if (name)
        unset_record(dict, name);
}

int var_length(var *dict)
{
    if (!dict)
        return -1;
    if (!dict->previous) {
        if (DictIndex *idx = dict_index(dict)) {
            idx->sync();
            return idx->entries();
        }
    }
    int n = 0;
    for (var *v = dict->next; v; v = v->next)
        ++n;
    return n;
}

void var_value_set(var *v, int type, ...)
{
    if (!v)
        return;
    if (!v->value)
        v->value = new_value();
    va_list ap;
    va_start(ap, type);
    value_vset(v->value, type, ap);
    va_end(ap);
}

var *copy_var(var *src, var *dst, int overwrite)
{
    if (!src)
        return dst;
    if (!dst)
        dst = new_var(src->name);
    for (var *e = src->next; e; e = e->next) {
        const int type = e->value ? e->value->type : TYPE_NONE;
        if (type == TYPE_TEXT || type == TYPE_LIST)
            continue;
        if (!overwrite && find_record(dst, e->name))
            continue;
        store_value(dst, e->name, copy_value(e->value));
    }
    return dst;
}

void free_var(var *v)
{
    if (!v)
        return;
    free_value(v->value);
    std::free(v->name);
    dict_index_drop(v);
    std::free(v);
}

var *nuke_var(var *v)
{
    if (!v)
        return nullptr;
    if (var *prev = v->previous) {
        // Cutting a chain short: the head's index forgets the cut records.
        if (DictIndex *idx = dict_index(chain_head(prev))) {
            idx->sync();
            int removed = 0;
            for (var *r = v; r; r = r->next) {
                idx->erase(r);
                ++removed;
            }
            idx->add_entries(-removed);
            idx->set_tail(prev);
        }
        prev->next = nullptr;
    }
    while (v) {
        var *next = v->next;
        free_var(v);
        v = next;
    }
    return nullptr;
}

char *dict_as_string(var *dict)
{
    if (!dict)
        return dup_string("");
    std::string out = "{";
    for (var *v = dict; v; v = v->next) {
        if (v != dict)
            out += ',';
        out += " '";
        out += v->name ? v->name : "";
        out += "' => \"";
        out += value_as_string(v->value);
        out += '"';
    }
    out += " }";
    return dup_string(out);
}

// ---- values ------------------------------------------------------------

value *new_value(void)
{
    auto *val = static_cast<value *>(std::calloc(1, sizeof(value)));
    if (!val)
        std::abort();
    val->type = TYPE_NONE;
    return val;
}

value *create_value(int type, ...)
{
    value *val = new_value();
    va_list ap;
    va_start(ap, type);
    value_vset(val, type, ap);
    va_end(ap);
    return val;
}

void value_set(value *val, int type, ...)
{
    va_list ap;
    va_start(ap, type);
    value_vset(val, type, ap);
    va_end(ap);
}

void value_vset(value *val, int type, va_list args)
{
    if (!val)
        return;
    value_reset(val);
    val->payload = value_payload{};
    switch (type) {
    case TYPE_INTEGER:
        val->payload.i = va_arg(args, int);
        break;
    case TYPE_FLOAT:
        val->payload.f = va_arg(args, double);
        break;
    case TYPE_STRING:
    case TYPE_VAR:
    case TYPE_TEXT:
    case TYPE_LIST:
    case TYPE_VOID:
        val->payload.p = va_arg(args, void *);
        break;
    default:
        type = TYPE_NONE;
        break;
    }
    val->type = type;
}

void value_reset(value *val)
{
    if (!val)
        return;
    if (val->type == TYPE_STRING) {
        std::free(val->payload.p);
        val->payload.p = nullptr;
    } else if (val->type == TYPE_VAR) {
        nuke_var(static_cast<var *>(val->payload.p));
        val->payload.p = nullptr;
    }
    std::free(val->cached);
    val->cached = nullptr;
}

void free_value(value *val)
{
    if (!val)
        return;
    value_reset(val);
    std::free(val);
}

var *value_as_var(value *val)
{
    return (val && val->type == TYPE_VAR) ? static_cast<var *>(val->payload.p) : nullptr;
}

text *value_as_text(value *val)
{
    return (val && val->type == TYPE_TEXT) ? static_cast<text *>(val->payload.p) : nullptr;
}

list *value_as_list(value *val)
{
    return (val && val->type == TYPE_LIST) ? static_cast<list *>(val->payload.p) : nullptr;
}

void *value_as_void(value *val)
{
    return (val && val->type == TYPE_VOID) ? val->payload.p : nullptr;
}

const char *value_as_string(value *val)
{
    if (!val)
        return "";
    if (val->type == TYPE_STRING)
        return val->payload.p ? static_cast<const char *>(val->payload.p) : "";
    if (!val->cached)
        val->cached = dup_string(render_value(val));
    return val->cached;
}

int value_as_integer(value *val, int def)
{
    if (!val)
        return def;
    switch (val->type) {
    case TYPE_NONE:
        return 0;
    case TYPE_INTEGER:
        return val->payload.i;
    case TYPE_FLOAT: {
        const double f = val->payload.f;
        if (std::isnan(f))
            return 0;
        if (f >= static_cast<double>(INT_MAX))
            return INT_MAX;
        if (f <= static_cast<double>(INT_MIN))
            return INT_MIN;
        return static_cast<int>(f);
    }
    case TYPE_STRING: {
        const auto *s = static_cast<const char *>(val->payload.p);
        if (!s || !numeric_text(s))
            return def;
        return clamp_to_int(std::strtol(s, nullptr, 10));
    }
    default:
        return def;
    }
}

double value_as_float(value *val, double def)
{
    if (!val)
        return def;
    switch (val->type) {
    case TYPE_NONE:
        return 0.0;
    case TYPE_INTEGER:
        return val->payload.i;
    case TYPE_FLOAT:
        return val->payload.f;
    case TYPE_STRING: {
        const auto *s = static_cast<const char *>(val->payload.p);
        return s ? std::strtod(s, nullptr) : def;
    }
    default:
        return def;
    }
}

int value_as_boolean(value *val)
{
    if (!val)
        return 0;
    switch (val->type) {
    case TYPE_INTEGER:
        return val->payload.i != 0;
    case TYPE_FLOAT:
        return val->payload.f != 0.0;
    case TYPE_STRING: {
        const auto *s = static_cast<const char *>(val->payload.p);
        if (!s || !*s)
            return 0;
        if (numeric_text(s))
            return std::strtod(s, nullptr) != 0.0;
        return 1;
    }
    case TYPE_VAR:
    case TYPE_VOID:
        return val->payload.p != nullptr;
    case TYPE_TEXT: {
        const auto *t = static_cast<const text *>(val->payload.p);
        return t && t->first;
    }
    case TYPE_LIST: {
        const auto *l = static_cast<const list *>(val->payload.p);
        return l && l->count > 0;
    }
    default:
        return 0;
    }
}

// ---- C++ conveniences ----------------------------------------------------

var *get_var(var *dict, std::string_view name)
{
    return find_record(dict, name);
}

void unset_var(var *dict, std::string_view name)
{
    unset_record(dict, name);
}

var *set_none(var *dict, std::string_view name)
{
    return store_value(dict, name, new_value());
}

var *set_integer(var *dict, std::string_view name, int n)
{
    return store_value(dict, name, create_value(TYPE_INTEGER, n));
}

var *set_float(var *dict, std::string_view name, double f)
{
    return store_value(dict, name, create_value(TYPE_FLOAT, f));
}

var *set_string(var *dict, std::string_view name, std::string_view s)
{
    if (!dict)
        return nullptr;
    return store_value(dict, name, create_value(TYPE_STRING, dup_string(s)));
}

var *add_unnamed_string(var *dict, std::string_view s)
{
    if (!dict)
        return nullptr;
    return set_var_as_value(dict, nullptr, create_value(TYPE_STRING, dup_string(s)));
}

std::string_view var_string(var *dict, std::string_view name)
{
    var *v = find_record(dict, name);
    return v ? value_view(v->value) : std::string_view("");
}

int var_integer(var *dict, std::string_view name, int def)
{
    var *v = find_record(dict, name);
    return v ? value_as_integer(v->value, def) : def;
}

double var_float(var *dict, std::string_view name, double def)
{
    var *v = find_record(dict, name);
    return v ? value_as_float(v->value, def) : def;
}

bool var_boolean(var *dict, std::string_view name)
{
    var *v = find_record(dict, name);
    return v && value_as_boolean(v->value);
}

bool var_defined(var *dict, std::string_view name)
{
    return find_record(dict, name) != nullptr;
}

std::string_view value_view(value *val)
{
    return value_as_string(val);
}

var *new_dict(std::string_view label)
{
    return make_var(label, var_name_hash(label), nullptr);
}

char *dup_cstring(std::string_view s)
{
    return dup_string(s);
}
