// NAME:value preference text: the line reader, splitting one line into
// name, value and comment, and moving whole files between that form and a
// dictionary or a text.  Also the whole-line reader for the files the
// program writes itself, where a long value must never come back as two
// lines.
#pragma once

#include <orvel.h>

#include <cstdio>
#include <string>
#include <string_view>

// Line-reader choice, from the configuration key FAST_FGETS (default 0).
extern int fast_fgets;

// Reads one line of at most `size` characters, line feed included.  A CR
// followed by LF is kept as both; a lone CR ends the line and becomes LF.
// Returns false at end of file with nothing read.
bool my_fgets(std::string &line, std::size_t size, FILE *file);
constexpr std::size_t PREF_LINE_MAX = 8192;

// Reads one whole line of any length (line feed included); same CR rule.
bool fp_read_line(std::string &line, FILE *file);

struct PrefLine {
    std::string name;     // trimmed, upper-cased
    std::string value;    // trimmed
    std::string comment;  // text after the comment character
    bool has_comment = false;
};

// 0 and the three parts, or -1 when the line has no separator.
int explode_colon(std::string_view separators, char comment, std::string_view line,
                  PrefLine &result);

// C++ form of fp_parse_prefs over an in-memory string of lines.
int parse_prefs_string(std::string_view contents, var *dict, bool overwrite,
                       std::string_view separators = ":=", char comment = '#');
