// A first renderer: templates pass through with their tokens expanded.
// Elements are not interpreted yet.
#include "ovml/render.h"

#include "ovml/tokens.h"

#include "cgi/output.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cctype>

std::string render_OVML_String(std::string_view text) { return ovmlsub(text); }

void print_OVML_File(const std::string &path) {
    if (DICT_ORVEL) set_string(DICT_ORVEL, "TOP_DOC", path);
    std::string contents;
    xprintf("%s", "");
    if (!fn_read_file(path, contents)) return;
    xputs(ovmlsub(contents));
}
