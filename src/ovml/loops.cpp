// Loops: placeholders until built.
#include "ovml/elements.h"
#include "ovml/registry.h"

std::string do_OVML_ItemList(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_NoteList(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Loop(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
