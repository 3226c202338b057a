// Rule files arrive with the pricing rules; until then there are no
// custom messages.
#include "rules/rules.h"

#include "config/config.h"
#include "ovml/render.h"
#include "platform/files.h"
#include "strings/strutil.h"

void maybe_get_custom_rules() {}

std::optional<std::string> get_possibly_OVMLified_Rules(const std::string &path, bool render) {
    std::string text;
    if (fn_read_file(path + ".ovml", text)) return render_OVML_String(text);
    if (!fn_read_file(path, text)) return std::nullopt;
    return render ? render_OVML_String(text) : text;
}

bool should_OVMLify_rules(std::string_view kind) {
    std::string_view setting = config_string("OVML_RULES");
    if (setting.empty() || setting == "0") return false;
    if (setting == "1") return true;
    return striword(setting, kind) != npos;
}
