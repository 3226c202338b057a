#include "ovml/registry.h"

#include "ovml/elements.h"

#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdarg>

namespace {

OVMLRegistry &registry() {
    static OVMLRegistry r = [] {
        OVMLRegistry init;
        init.names[0] = "";
        init.funcs[0] = do_OVML_Nothing;
        return init;
    }();
    return r;
}

// Case-insensitive search of `part` in `text`, first occurrence.
std::size_t ifind(std::string_view text, std::string_view part) { return my_stristr(text, part); }

bool self_closed(const std::string &tag_text) { return !tag_text.empty() && tag_text.back() == '/'; }

}  // namespace

const OVMLRegistry &OVML_registry() { return registry(); }

void register_OVML_function(std::string_view name, OVMLHandler handler) {
    OVMLRegistry &r = registry();
    if (r.count + 1 >= OVML_MAX_TAGS)
        cgidie("Failed to register OVML element %s.", std::string(name).c_str());
    r.names[r.count] = std::string(name);
    r.funcs[r.count] = handler;
    ++r.count;
    r.names[r.count] = "";
    r.funcs[r.count] = do_OVML_Nothing;
}

void register_standard_OVML_functions() {
    static bool done = false;
    if (done) return;
    done = true;
    // Matching order: a scanned name is looked for in these in turn.
    static const std::pair<const char *, OVMLHandler> standard[] = {
        {"/ORVEL_ITEM_LIST", do_OVML_ItemList}, {"/ORVEL_NOTE_LIST", do_OVML_NoteList},
        {"/ORVEL_LOOP", do_OVML_Loop},          {"ORVEL_SLURP", do_OVML_Slurp},
        {"ORVEL_CHOICE", do_OVML_Choice},       {"/ORVEL_TRUE", do_OVML_True},
        {"/ORVEL_FALSE", do_OVML_False},        {"ORVEL_CURRENT", do_OVML_Current},
        {"/ORVEL_COMMENT", do_OVML_Comment},    {"ORVEL_DATE", do_OVML_Date},
        {"ORVEL_INFO", do_OVML_Info},           {"ORVEL_CURRENCY", do_OVML_Currency},
        {"/ORVEL_WRAP", do_OVML_Wrap},          {"ORVEL_TWEAK", do_OVML_Tweak},
        {"ORVEL_EXPLODE", do_OVML_Explode},     {"ORVEL_VSET", do_OVML_Vset},
        {"ORVEL_STRIP", do_OVML_Strip},         {"ORVEL_MATH", do_OVML_Math},
        {"ORVEL_DIMS", do_OVML_Dims},           {"ORVEL_SUBST", do_OVML_Subst},
        {"ORVEL_API", do_OVML_API},             {"ORVEL_REGEX", do_OVML_Regex},
        {"ORVEL_GETENV", do_OVML_Getenv},       {"/ORVEL_BELCH", do_OVML_Belch},
        {"/ORVEL_EMAIL", do_OVML_Email},        {"ORVEL_DIGEST", do_OVML_Digest},
    };
    for (const auto &[name, handler] : standard) register_OVML_function(name, handler);
}

std::string do_OVML_Nothing(TagDef &) { return Orvel_OVML_output_error("This comment is an abomination."); }

std::string render_OVML_Tag(TagDef &def, int index) {
    const OVMLRegistry &r = registry();
    if (index < 0 || index > r.count) return do_OVML_Nothing(def);
    return r.funcs[static_cast<std::size_t>(index)](def);
}

int compare_OVML_Tags(std::string_view registered, std::string &found) {
    for (char &c : found)
        if (c == '-') c = '_';
    const std::size_t at = ifind(registered, found);
    if (at == 0) return 1;
    if (at == 1) return -1;
    return 0;
}

std::optional<std::string> parse_tag(TagDef &def, int &result, int *index) {
    const OVMLRegistry &r = registry();
    for (int i = 0; i < r.count; ++i) {
        const std::string &registered = r.names[static_cast<std::size_t>(i)];
        const int match = compare_OVML_Tags(registered, def.name);
        if (match == 1) {
            result = 1;
            return render_OVML_Tag(def, i);
        }
        if (match == -1) {
            if (self_closed(def.text)) {
                // <ORVEL_LOOP TYPE=DUMP/>: runs at once, with no body.
                def.body = nullptr;
                result = 1;
                return render_OVML_Tag(def, i);
            }
            result = -1;
            if (index) *index = i;
            return registered;
        }
    }
    result = 0;
    return std::nullopt;
}

std::string Orvel_OVML_output_error(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = dupvsprintf(format, args);
    va_end(args);
    if (DICT_ORVEL) set_string(DICT_ORVEL, "ERROR", message);
    // Messages echo file names and addresses that may come from a shopper:
    // escaped, they can neither close the comment nor open markup.
    std::string shown;
    shown.reserve(message.size());
    for (char c : message) {
        if (c == '<') shown += "&lt;";
        else if (c == '>') shown += "&gt;";
        else if (c == '-' && !shown.empty() && shown.back() == '-') shown += " -";
        else shown += c;
    }
    return "<!-- " + shown + " -->";
}
