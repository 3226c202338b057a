// The OVML element registry: element names and their handlers in
// registration order (which is also the order names are matched in),
// matching a scanned tag name against it, calling handlers, and the HTML
// comment that a failing element leaves in its place.
#pragma once

#include "ovml/scanner.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// An element handler: takes the element's tag (and body, for a paired
// element) and returns the element's output.
using OVMLHandler = std::string (*)(TagDef &);

// Slots of the registry, the terminating entry included.
constexpr int OVML_MAX_TAGS = 100;

// The parallel tables: filled slots, then a terminating entry whose name is
// "" and whose handler is do_OVML_Nothing.  A name beginning with '/' (the
// closing tag's name) registers a paired element, any other a single one.
struct OVMLRegistry {
    std::array<std::string, OVML_MAX_TAGS> names;
    std::array<OVMLHandler, OVML_MAX_TAGS> funcs{};
    int count = 0;  // filled slots before the terminating entry
};
const OVMLRegistry &OVML_registry();

// Adds an element after the ones registered so far; a full registry ends
// the request with "Failed to register OVML element %s.".
void register_OVML_function(std::string_view name, OVMLHandler handler);
// The elements of the template language and the search element.  Each
// registers once per process, however often the dictionaries are rebuilt.
void register_standard_OVML_functions();
void register_search_OVML_functions();

// The terminating entry's handler.
std::string do_OVML_Nothing(TagDef &def);
// Calls the handler in slot `index`.
std::string render_OVML_Tag(TagDef &def, int index);

// Turns '-' into '_' in `found`, then looks for it, ignoring case, inside
// `registered`: 1 when it occurs at the start (a single element or the
// closing tag of a paired one), -1 when it occurs right after the leading
// '/' (the opener of a paired element), 0 otherwise.
int compare_OVML_Tags(std::string_view registered, std::string &found);

// Matches the tag against the registry.  result 1: the handler ran (a
// single element, a closing tag, or a self-closed opener written with a
// final '/') and its output is returned.  result -1: an opener of a paired
// element; the registered closing name is returned and its slot stored in
// *index.  result 0: unknown tag, nullopt.
std::optional<std::string> parse_tag(TagDef &def, int &result, int *index = nullptr);

// Formats a template error, stores it as ERROR in DICT_ORVEL and returns it
// as an HTML comment "<!-- message -->".
std::string Orvel_OVML_output_error(const char *format, ...) __attribute__((format(printf, 1, 2)));
