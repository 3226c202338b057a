// The OVML tag scanner: finding where an element tag starts in a line,
// where its name ends, and reading the tag (across lines when it spans
// them) into a TagDef, the record that element handlers then receive.
// Tag characters come from the globals OVML_Tag_Open and OVML_Tag_Close.
#pragma once

#include "ovml/lines.h"

#include <cstddef>
#include <string>
#include <string_view>

// One tag being scanned, then handed to its element's handler.
struct TagDef {
    std::string leading_text;   // text before the tag's opening character
    bool has_leading = false;   // false: nothing stood before the tag
    std::string name;           // the name as written ('/' first for a closing tag)
    // Offset, within the string last scanned, of what follows the tag's
    // closing character; npos when that consists only of line breaks.
    std::size_t rest = std::string_view::npos;
    std::string collector;      // the tag text gathered while the tag is open
    int depth = 0;              // unclosed opening characters (0: no tag open)
    bool in_quote = false;
    char quote_char = 0;
    std::string text;           // everything between the tag characters, from the name on
    const OVMLText *body = nullptr;  // raw body of a paired element, or none

    const std::string &tag_text() const { return text; }
    const std::string &tag_name() const { return name; }
    bool has_body() const { return body != nullptr; }
    // The raw body lines (empty when the element has no body).
    const OVMLText &body_lines() const;
};

// Releases the strings and the body and clears the scan state.
void reset_TagDef(TagDef &def);

// Offset of the first "ORVEL" in `s` at or after `from`, ignoring case;
// npos when none.
std::size_t find_orvel(std::string_view s, std::size_t from = 0);

// Offset of the tag's opening character in `line`, with the name's start
// in `name_start`; npos when the line holds no tag start.
std::size_t get_tag_start(std::string_view line, std::size_t &name_start);
// Offset of the first white space or closing character from the name's
// start; npos when the line ends first.
std::size_t get_tagname_end(std::string_view line, std::size_t name_start);
// Scans one line: 0 when it holds no tag start (and no tag was open), the
// depth when a tag is still open at its end, -1 when a tag was completed
// (the TagDef then holds leading text, name, tag text and rest).
int get_tag_def(std::string_view line, TagDef &def);
