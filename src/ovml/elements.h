// Handlers of the template language's elements.  Each takes the element's
// tag (attributes, and the raw body of a paired element) and returns the
// element's output; register_standard_OVML_functions registers them in
// matching order.
#pragma once

#include "ovml/scanner.h"

#include <string>

// Loops.
std::string do_OVML_ItemList(TagDef &def);
std::string do_OVML_NoteList(TagDef &def);
std::string do_OVML_Loop(TagDef &def);

// Conditions, computation, inclusion and text shaping.
std::string do_OVML_Slurp(TagDef &def);
std::string do_OVML_Choice(TagDef &def);
std::string do_OVML_True(TagDef &def);
std::string do_OVML_False(TagDef &def);
std::string do_OVML_Current(TagDef &def);
std::string do_OVML_Comment(TagDef &def);
std::string do_OVML_Date(TagDef &def);
std::string do_OVML_Info(TagDef &def);
std::string do_OVML_Currency(TagDef &def);
std::string do_OVML_Wrap(TagDef &def);
std::string do_OVML_Tweak(TagDef &def);
std::string do_OVML_Explode(TagDef &def);
std::string do_OVML_Vset(TagDef &def);
std::string do_OVML_Strip(TagDef &def);
std::string do_OVML_Math(TagDef &def);
std::string do_OVML_Dims(TagDef &def);
std::string do_OVML_Subst(TagDef &def);
std::string do_OVML_Regex(TagDef &def);
std::string do_OVML_Getenv(TagDef &def);
std::string do_OVML_Belch(TagDef &def);
std::string do_OVML_Digest(TagDef &def);

// Elements that run outside programs.
std::string do_OVML_API(TagDef &def);
std::string do_OVML_Email(TagDef &def);
