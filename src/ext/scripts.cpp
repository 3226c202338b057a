// Merchant scripts: only the name check exists yet; no script is run.
#include "ext/scripts.h"

int run_user_script(std::string_view name, std::string_view, const text *, text *)
{
    if (name.empty() || name.front() == '.' || name.find("..") != std::string_view::npos) return -1;
    return 1;
}

bool interpret_api_script_output(const text *) { return false; }

int do_api_script(std::string_view) { return 1; }
