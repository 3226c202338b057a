#include "ovml/context.h"

#include "config/config.h"
#include "config/paths.h"
#include "ovml/tokens.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

namespace {

struct Switches {
    bool settled = false;
    bool fp_ovu = false, fp_pct = false, ov_cmt = false;
    bool base = false, hard_base = false, high_base = false;
    std::string base_text;  // the base element to insert
    var *rules = nullptr;   // substitution rules, or none
    bool have_rules = false;
};

Switches sw;

void set_from_key(std::string_view key, bool &flag) {
    if (config_defined(key)) flag = config_boolean(key);
}

void settle() {
    sw.settled = true;
    const std::string_view doc_base = DICT_URL ? var_string(DICT_URL, "DOC_BASE") : std::string_view();
    const bool has_base = !doc_base.empty();
    if (has_base) sw.base = true;

    const std::string_view subs = config_string("CONTEXT_SUBS");
    if (my_stristr(subs, "FP_OVU") != npos) sw.fp_ovu = true;
    if (my_stristr(subs, "FP_PCT") != npos) sw.fp_pct = true;
    if (my_stristr(subs, "OV_CMT") != npos) sw.ov_cmt = true;
    if (has_base) {
        if (my_stristr(subs, "HARD_BASE") != npos) sw.hard_base = true;
        else if (my_stristr(subs, "BASE") != npos) sw.base = true;
    }

    const std::string_view off = config_string("DISABLED_CONTEXT_SUBS");
    if (my_stristr(off, "FP_OVU") != npos) sw.fp_ovu = false;
    if (my_stristr(off, "FP_PCT") != npos) sw.fp_pct = false;
    if (my_stristr(off, "OV_CMT") != npos) sw.ov_cmt = false;
    if (striword(off, "HARD_BASE") != npos) sw.hard_base = false;
    if (striword(off, "BASE") != npos) sw.base = false;

    set_from_key("SUBST_OV_CMT", sw.ov_cmt);
    set_from_key("SUBST_FP_PCT", sw.fp_pct);
    set_from_key("SUBST_FP_OVU", sw.fp_ovu);
    if (has_base) {
        set_from_key("SUBST_BASE", sw.base);
        set_from_key("SUBST_HARD_BASE", sw.hard_base);
        set_from_key("SUBST_HIGH_BASE", sw.high_base);
    }
    if (sw.base || sw.hard_base) {
        const std::string base(doc_base);
        sw.base_text = sw.high_base ? "<head><base href=" + base + ">" : "<base href=" + base + "></head>";
    }

    sw.rules = load_subst_rules();
    sw.have_rules = sw.rules && sw.rules->next;
}

// Removes every occurrence of `part` (exact case).
void remove_all(std::string &line, std::string_view part) {
    if (line.find(part) != npos) line = strsub(line, part, "");
}

void insert_base(std::string &line) {
    const std::size_t base_tag = my_stristr(line, "<BASE");
    if (base_tag != npos) {
        sw.base = false;
        if (my_stristr(std::string_view(line).substr(base_tag), "%OVU_DOC_BASE") != npos) sw.hard_base = false;
    }
    if (!sw.base && !sw.hard_base) return;
    bool inserted = false;
    if (sw.high_base && my_stristr(line, "<HEAD>") != npos) {
        line = strisub(line, "<HEAD>", sw.base_text);
        inserted = true;
    } else if (std::size_t at = my_stristr(line, "</HEAD>"); at != npos) {
        line.replace(at, 7, sw.base_text);
        inserted = true;
    }
    if (inserted) sw.base = sw.hard_base = false;
}

}  // namespace

bool OVML_context_active() {
    if (!sw.settled) settle();
    return sw.fp_ovu || sw.fp_pct || sw.ov_cmt || sw.base || sw.hard_base || sw.have_rules;
}

std::string render_OVML_Context(std::string_view text) {
    std::string line(text);
    if (!OVML_context_active()) return line;
    if (sw.fp_ovu && line.find("HTTP://OVU.") != npos) line = strsub(line, "HTTP://OVU.", "%OVU_");
    if (sw.fp_pct && line.find("%25OV") != npos) line = strsub(line, "%25OV", "%OV");
    if (sw.have_rules) {
        for (var *rule = sw.rules->next; rule; rule = rule->next) {
            if (!rule->name || !*rule->name || my_stristr(line, rule->name) == npos) continue;
            line = strisub(line, rule->name, ovmlsub(value_view(rule->value)));
        }
    }
    if (sw.ov_cmt) {
        remove_all(line, "<!--OVML");
        remove_all(line, "OVML-->");
    }
    if (sw.base || sw.hard_base) insert_base(line);
    return line;
}

var *load_subst_rules() {
    std::string contents;
    if (!DICT_CONFIG || !fn_read_file(get_rules_pathname("subst.rules"), contents)) return nullptr;
    var *dict = new_dict("[Substitution Rules]");
    std::string_view rest(contents);
    PrefLine pref;
    while (!rest.empty()) {
        // Lines end at LF, CR LF or a lone CR, as the line reader has it.
        std::size_t end = rest.find_first_of("\r\n");
        std::size_t next = end;
        if (end == npos) end = next = rest.size();
        else if (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') next = end + 2;
        else next = end + 1;
        if (explode_colon(":", '#', rest.substr(0, end), pref) == 0 && !pref.name.empty())
            set_string(dict, pref.name, pref.value);
        rest.remove_prefix(next);
    }
    return dict;
}

void reset_OVML_context() {
    if (sw.rules) nuke_var(sw.rules);
    sw = Switches{};
}
