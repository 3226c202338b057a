// Texts: ordered, doubly linked lists of owned heap strings, part of the C
// interface offered to plug-ins.  Nodes and strings come from malloc and go
// back with free, because a plug-in may release either.
#include <orvel.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void *xmalloc(std::size_t size)
{
    void *p = std::malloc(size);
    if (!p) {
        std::fputs("orvel: out of memory\n", stderr);
        std::abort();
    }
    return p;
}

char *heap_copy(std::string_view s)
{
    char *p = static_cast<char *>(xmalloc(s.size() + 1));
    s.copy(p, s.size());
    p[s.size()] = '\0';
    return p;
}

} // namespace

extern "C" {

textstring *new_textstring(char *string)
{
    auto *node = static_cast<textstring *>(xmalloc(sizeof(textstring)));
    node->string = string;
    node->previous = nullptr;
    node->next = nullptr;
    return node;
}

void free_textstring(textstring *node)
{
    if (!node)
        return;
    std::free(node->string);
    std::free(node);
}

text *new_text(char *string)
{
    auto *t = static_cast<text *>(xmalloc(sizeof(text)));
    t->first = nullptr;
    t->last = nullptr;
    if (string)
        text_addstring(t, string);
    return t;
}

textstring *text_addstring(text *t, char *string)
{
    if (!t)
        return nullptr;
    textstring *node = new_textstring(string);
    node->previous = t->last;
    if (t->last)
        t->last->next = node;
    else
        t->first = node;
    t->last = node;
    return node;
}

void text_delete(text *t, textstring *node)
{
    if (!t || !node)
        return;
    textstring *n = t->first;
    while (n && n != node)
        n = n->next;
    if (!n)
        return; // not one of this text's nodes
    if (node->previous)
        node->previous->next = node->next;
    else
        t->first = node->next;
    if (node->next)
        node->next->previous = node->previous;
    else
        t->last = node->previous;
    // The node keeps its own links so that a caller walking the text can
    // carry on from it.
}

void text_erase(text *t)
{
    if (!t)
        return;
    textstring *n = t->first;
    while (n) {
        textstring *next = n->next;
        free_textstring(n);
        n = next;
    }
    t->first = nullptr;
    t->last = nullptr;
}

void free_text(text *t)
{
    if (!t)
        return;
    text_erase(t);
    std::free(t);
}

int text_length(const text *t)
{
    int count = 0;
    for (const textstring *n = t ? t->first : nullptr; n; n = n->next)
        ++count;
    return count;
}

char *text_tostring(const text *t)
{
    std::size_t total = 0;
    for (const textstring *n = t ? t->first : nullptr; n; n = n->next)
        if (n->string)
            total += std::strlen(n->string);
    char *out = static_cast<char *>(xmalloc(total + 1));
    char *p = out;
    for (const textstring *n = t ? t->first : nullptr; n; n = n->next) {
        if (!n->string)
            continue;
        std::size_t len = std::strlen(n->string);
        std::memcpy(p, n->string, len);
        p += len;
    }
    *p = '\0';
    return out;
}

void text_fprint(FILE *out, const text *t)
{
    if (!out)
        return;
    for (const textstring *n = t ? t->first : nullptr; n; n = n->next)
        if (n->string)
            std::fputs(n->string, out);
}

text *break_text(const text *t)
{
    text *lines = new_text(nullptr);
    std::string line;
    for (const textstring *n = t ? t->first : nullptr; n; n = n->next) {
        const char *s = n->string;
        if (!s)
            continue;
        // Take the string a line-feed-delimited chunk at a time.
        while (*s) {
            const char *lf = std::strchr(s, '\n');
            if (!lf) {
                line.append(s);
                break;
            }
            line.append(s, static_cast<std::size_t>(lf - s));
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            text_addstring(lines, heap_copy(line));
            line.clear();
            s = lf + 1;
        }
    }
    if (!line.empty())
        text_addstring(lines, heap_copy(line));
    return lines;
}

text *to_words(const char *string, char separator)
{
    text *words = new_text(nullptr);
    if (!string || !*string)
        return words;
    std::string_view s(string);
    if (separator == '\0') {
        text_addstring(words, heap_copy(s));
        return words;
    }
    std::size_t start = s.find_first_not_of(separator);
    if (start == std::string_view::npos) {
        // Only separators: one empty word.
        text_addstring(words, heap_copy({}));
        return words;
    }
    while (start != std::string_view::npos) {
        std::size_t end = s.find(separator, start);
        text_addstring(words, heap_copy(s.substr(start, end == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : end - start)));
        if (end == std::string_view::npos)
            break;
        start = s.find_first_not_of(separator, end);
    }
    return words;
}

} // extern "C"
