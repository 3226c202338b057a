#include "ovml_support.h"

#include "config/config.h"
#include "ovml/context.h"
#include "ovml/tokens.h"
#include "vars/list.h"
#include "vars/vars.h"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace ovml_test {

Counters &counters() {
    static Counters c;
    return c;
}

void reset_counters() { counters() = Counters{}; }

namespace {

std::string echo(TagDef &def) { return "[" + def.tag_text() + "]"; }
std::string quiet(TagDef &) { return ""; }
std::string count(TagDef &) { return std::to_string(++counters().count); }
std::string depth(TagDef &) { return std::to_string(OVML_render_depth()); }

std::string recurse(TagDef &) {
    ++counters().recurse;
    std::printf("level %d\n", counters().recurse);
    return render_OVML_Text(OVMLText::from_string("<ORVEL_RECURSE>\n"));
}

std::string repeat(TagDef &def) {
    if (!def.has_body()) return "(no body: " + def.tag_text() + ")";
    var *attrs = new_dict("");
    to_fields(std::string_view(def.tag_text()), attrs, true, '\0');
    const int times = var_integer(attrs, "COUNT", 1);
    nuke_var(attrs);
    std::string out;
    for (int i = 0; i < times; ++i) out += render_OVML_Text(def.body_lines());
    return out;
}

std::string raw(TagDef &def) {
    std::string out;
    for (std::string_view line : def.body_lines()) out += "{" + std::string(line) + "}";
    return out;
}

}  // namespace

void register_test_elements() {
    static bool done = false;
    if (done) return;
    done = true;
    register_OVML_function("ORVEL_ECHO", echo);
    register_OVML_function("ORVEL_QUIET", quiet);
    register_OVML_function("ORVEL_COUNT", count);
    register_OVML_function("ORVEL_DEPTH", depth);
    register_OVML_function("ORVEL_RECURSE", recurse);
    register_OVML_function("/ORVEL_REPEAT", repeat);
    register_OVML_function("/ORVEL_RAW", raw);
}

OVMLTest::OVMLTest() {
    register_test_elements();
    reset_OVML_context();
    reset_token_state();
    reset_counters();
}

OVMLTest::~OVMLTest() { reset_OVML_context(); }

TagChars::TagChars(char open, char close) : open_(OVML_Tag_Open), close_(OVML_Tag_Close) {
    OVML_Tag_Open = open;
    OVML_Tag_Close = close;
}

TagChars::~TagChars() {
    OVML_Tag_Open = open_;
    OVML_Tag_Close = close_;
}

}  // namespace ovml_test
