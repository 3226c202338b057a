// Command-line operations for batch jobs run from a shell: dumping product
// records and rendering pages and templates to standard output.  The
// dispatcher runs them only for command-line invocations and ends the
// process after them.
#include "catalog/products.h"
#include "cgi/output.h"
#include "config/paths.h"
#include "core/actions.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdio>
#include <string>

namespace {

// A name that may not be rendered ends the operation as an unreadable one
// does: a line on standard error and exit status 1.
[[noreturn]] void refuse(std::string_view name, const char *why) {
    std::fprintf(stderr, "Error: refused \"%s\": %s\n", std::string(name).c_str(), why);
    my_exit(1);
}

}  // namespace

void cl_dump_products(std::string_view codes) {
    xprintf(nullptr);
    std::vector<std::string> wanted_codes;
    var *wanted = new_var(nullptr);
    for (std::string_view code : split_list(codes, ';')) {
        std::string skuid = upper(trim_ws(code));
        if (skuid.empty()) continue;
        wanted_codes.push_back(skuid);
        set_integer(wanted, skuid, 1);
    }
    fill_products(wanted);
    nuke_var(wanted);
    for (const std::string &skuid : wanted_codes) {
        var *product = get_product(skuid);
        if (!product || var_boolean(product, "?MISSING")) continue;
        std::printf("SKUID:%s\n", std::string(value_view(product->value)).c_str());
        for (var *field = product->next; field; field = field->next) {
            if (std::string_view(field->name) == "SKUID") continue;
            // One field, one line: a value holding a line break (from a
            // script or an OVML-rendered field) is stored the way data
            // files store it, so it cannot start a line of its own.
            std::string text(value_view(field->value));
            std::printf("%s:%s\n", field->name, escape_nl(text).c_str());
        }
    }
}

void cl_render_page(std::string_view name) {
    xprintf(nullptr);
    if (!accept_template_filename(name)) refuse(name, "Orvel will only serve HTML files within her document root.");
    fprint_OVML_File(stdout, get_servable_pathname(name));
}

void cl_render_template(std::string_view name) {
    xprintf(nullptr);
    // The checks the web applies to template names: nothing outside the
    // catalog's template directories is read.
    if (!is_safe_template_name(name)) refuse(name, "not a template name of this catalog.");
    fprint_OVML_File(stdout, get_template_pathname(name));
}
