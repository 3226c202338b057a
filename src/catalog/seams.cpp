// Stand-ins for merchant scripts, tweak rules and optioned products (see
// seams.h).  They report, honestly, that nothing could be done.
#include "catalog/seams.h"

void get_tweaked(var *) {}

var *new_optioned_product(std::string_view) { return nullptr; }
