// Elements that run outside programs: placeholders until built.
#include "ovml/elements.h"
#include "ovml/registry.h"

std::string do_OVML_API(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Email(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
