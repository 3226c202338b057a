// Standard elements: placeholders until each element is built.
#include "ovml/elements.h"
#include "ovml/registry.h"

std::string do_OVML_Slurp(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Choice(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_True(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_False(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Current(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Comment(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Date(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Info(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Currency(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Wrap(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Tweak(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Explode(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Vset(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Strip(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Math(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Dims(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Subst(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Regex(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Getenv(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Belch(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
std::string do_OVML_Digest(TagDef &def) { return Orvel_OVML_output_error("%s is not available yet", def.tag_name().c_str()); }
