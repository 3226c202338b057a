// NAME:value preference text: line readers, line splitting and the moves
// between files or texts and dictionaries.

#include "vars/prefs.h"

#include "vars/vars.h"

#include <cstdlib>
#include <cstring>

int fast_fgets = 0;

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && is_space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_space(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view trimmed_right(std::string_view s)
{
    while (!s.empty() && is_space(s.back()))
        s.remove_suffix(1);
    return s;
}

// Reads up to a line feed (kept), end of file or `limit` characters.  A
// carriage return followed by a line feed is kept as both; a lone carriage
// return ends the line and becomes a line feed.  A limit of 0 means none.
bool read_line_cr(std::string &line, std::size_t limit, FILE *file)
{
    line.clear();
    while (limit == 0 || line.size() < limit) {
        const int c = std::getc(file);
        if (c == EOF)
            break;
        if (c == '\r') {
            const int after = std::getc(file);
            if (after == '\n') {
                line.push_back('\r');
                if (limit != 0 && line.size() >= limit) {
                    // No room left for the line feed: it starts the next read.
                    std::ungetc(after, file);
                    break;
                }
                line.push_back('\n');
                break;
            }
            if (after != EOF)
                std::ungetc(after, file);
            line.push_back('\n');
            break;
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return !line.empty();
}

// The C library's plain reading: up to a line feed or `limit` characters.
bool read_line_plain(std::string &line, std::size_t limit, FILE *file)
{
    line.clear();
    while (line.size() < limit) {
        const int c = std::getc(file);
        if (c == EOF)
            break;
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    return !line.empty();
}

// Stores one split line under the overwrite rule; true when stored.
bool store_pref(var *dict, const PrefLine &pref, bool overwrite)
{
    if (!overwrite && get_var(dict, std::string_view(pref.name)))
        return false;
    set_string(dict, pref.name, pref.value);
    return true;
}

}  // namespace

bool my_fgets(std::string &line, std::size_t size, FILE *file)
{
    if (!file || size == 0) {
        line.clear();
        return false;
    }
    if (fast_fgets != 0)
        return read_line_plain(line, size, file);
    return read_line_cr(line, size, file);
}

bool fp_read_line(std::string &line, FILE *file)
{
    if (!file) {
        line.clear();
        return false;
    }
    return read_line_cr(line, 0, file);
}

int explode_colon(std::string_view separators, char comment, std::string_view line,
                  PrefLine &result)
{
    // Cut at the first comment character not escaped by a backslash; an
    // escaping backslash is dropped and the character kept as text.
    std::string cut;
    cut.reserve(line.size());
    bool has_comment = false;
    std::string_view comment_text;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (comment != '\0' && c == comment) {
            if (i > 0 && line[i - 1] == '\\') {
                cut.back() = c;
                continue;
            }
            has_comment = true;
            comment_text = line.substr(i + 1);
            break;
        }
        cut.push_back(c);
    }

    const std::size_t sep = cut.find_first_of(separators);
    if (separators.empty() || sep == std::string::npos)
        return -1;

    const std::string_view whole(cut);
    result.name.assign(trimmed(whole.substr(0, sep)));
    for (char &c : result.name) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    result.value.assign(trimmed(whole.substr(sep + 1)));
    result.comment.assign(comment_text);
    result.has_comment = has_comment;
    return 0;
}

int parse_prefs_string(std::string_view contents, var *dict, bool overwrite,
                       std::string_view separators, char comment)
{
    if (!dict)
        return -1;
    int stored = 0;
    PrefLine pref;
    while (!contents.empty()) {
        // Lines end at LF, CR LF or a lone CR, as the file reader has it.
        std::size_t end = contents.find_first_of("\r\n");
        std::size_t next;
        if (end == std::string_view::npos) {
            end = next = contents.size();
        } else if (contents[end] == '\r' && end + 1 < contents.size() && contents[end + 1] == '\n') {
            next = end + 2;
        } else {
            next = end + 1;
        }
        if (explode_colon(separators, comment, contents.substr(0, end), pref) == 0 &&
            store_pref(dict, pref, overwrite))
            ++stored;
        contents.remove_prefix(next);
    }
    return stored;
}

int fp_parse_prefs(FILE *file, var *dict, int overwrite)
{
    if (!file || !dict)
        return -1;
    int stored = 0;
    std::string line;
    PrefLine pref;
    while (my_fgets(line, PREF_LINE_MAX, file)) {
        if (explode_colon(":=", '#', line, pref) == 0 && store_pref(dict, pref, overwrite != 0))
            ++stored;
    }
    return stored;
}

int Orvel_parse_prefs_from_text(const text *t, var *dict, int overwrite)
{
    if (!t || !dict)
        return -1;
    int stored = 0;
    PrefLine pref;
    for (const textstring *node = t->first; node; node = node->next) {
        if (!node->string)
            continue;
        if (explode_colon(":=", '#', node->string, pref) == 0 &&
            store_pref(dict, pref, overwrite != 0))
            ++stored;
    }
    return stored;
}

int fp_slurp_file(FILE *file, text *t, char comment)
{
    if (!file || !t)
        return -1;
    int kept = 0;
    std::string line;
    while (my_fgets(line, PREF_LINE_MAX, file)) {
        std::string_view piece(line);
        if (comment != '\0') {
            const std::size_t at = piece.find(comment);
            if (at != std::string_view::npos)
                piece = piece.substr(0, at);
        }
        piece = trimmed_right(piece);
        if (piece.empty())
            continue;
        text_addstring(t, dup_cstring(piece));
        ++kept;
    }
    return kept;
}

int fp_write_prefs(FILE *file, var *dict)
{
    if (!file)
        return -1;
    int written = 0;
    for (var *v = dict ? dict->next : nullptr; v; v = v->next) {
        std::fprintf(file, "%s:%s\n", v->name ? v->name : "", value_as_string(v->value));
        ++written;
    }
    return written;
}
