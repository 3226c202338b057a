// The OVML renderer: routing template lines through the scanner (text
// outside tags is rendered, element tags call their handlers, paired
// elements collect their raw body up to the matching closing tag), the
// per-line passes, the render depth bound, and the file-level entry points
// that actions, hooks and the command line call.
#pragma once

#include "ovml/context.h"
#include "ovml/lines.h"
#include "ovml/registry.h"
#include "ovml/scanner.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// Nested renders allowed before the request stops.
constexpr int OVML_MAX_RENDER_DEPTH = 100;

// The state of one render call.
struct OVMLRenderContext {
    explicit OVMLRenderContext(std::string &out) : output(out) {}
    int open = -1;             // registry slot of the element collecting its body, -1: none
    std::string closing_name;  // that element's registered (closing) name
    int nesting = 0;           // openers of that element still open
    TagDef def;
    std::string saved_text;    // the opener's tag text
    OVMLText body;             // the raw body collected so far
    std::string &output;
};

// Routes one line (or the rest of one after a tag): 0, a positive depth or
// -1, as get_tag_def, after adding to the output or to the body.
int process_OVML_Line(std::string_view line, OVMLRenderContext &context);

// One line of text outside tags: context substitutions, the token pass and
// the form specials, in that order.
std::string render_OVML_Line(std::string_view line);

// The rendered output of a text of lines.  Counts toward the render depth.
std::string render_OVML_Text(const OVMLText &text);
// The rendered output of one string, routed as a single line.
std::string render_OVML_String(std::string_view text);

// The file's lines (line breaks kept; a carriage return not followed by a
// line feed ends a line and becomes one, unless FAST_FGETS is set), or
// nullopt when it cannot be read.
std::optional<OVMLText> read_OVML_File(const std::string &path);
// The rendered file, or nullopt when it cannot be read.
std::optional<std::string> render_OVML_File(const std::string &path);
// Renders the file for its effects only; 1 when it was read, else 0.
int interpret_OVML_File(const std::string &path);
// Prints a template file as the response body (header block first) and
// records it as TOP_DOC; an unreadable file ends the request.
void print_OVML_File(const std::string &path);
// Renders a template file into `stream`; an unreadable file ends the
// process with status 1.
void fprint_OVML_File(FILE *stream, const std::string &path);

// Nested render calls in progress.
int OVML_render_depth();
