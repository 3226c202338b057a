// Helpers shared by the variable-store tests: owning handles for the C
// records and a walk of a dictionary's chain.
#pragma once

#include "vars/vars.h"

#include <cstdlib>
#include <string>
#include <vector>

// Owns a dictionary for the length of one test.
struct DictHandle {
    explicit DictHandle(const char *label) : d(new_var(label)) {}
    explicit DictHandle(var *dict) : d(dict) {}
    ~DictHandle() { nuke_var(d); }
    DictHandle(const DictHandle &) = delete;
    DictHandle &operator=(const DictHandle &) = delete;
    var *get() const { return d; }
    var *d;
};

// Owns a value.
struct ValueHandle {
    explicit ValueHandle(value *val) : v(val) {}
    ~ValueHandle() { free_value(v); }
    ValueHandle(const ValueHandle &) = delete;
    ValueHandle &operator=(const ValueHandle &) = delete;
    value *v;
};

// Owns a malloc'd string handed back by the store.
struct CString {
    explicit CString(char *s) : p(s) {}
    ~CString() { std::free(p); }
    CString(const CString &) = delete;
    CString &operator=(const CString &) = delete;
    std::string str() const { return p ? std::string(p) : std::string("<null>"); }
    char *p;
};

// The names of the entries after the head, in chain order.
inline std::vector<std::string> chain_names(var *dict)
{
    std::vector<std::string> names;
    for (var *v = dict ? dict->next : nullptr; v; v = v->next)
        names.emplace_back(v->name);
    return names;
}

// True when every previous link mirrors the next link before it.
inline bool links_consistent(var *dict)
{
    for (var *v = dict; v && v->next; v = v->next) {
        if (v->next->previous != v)
            return false;
    }
    return true;
}
