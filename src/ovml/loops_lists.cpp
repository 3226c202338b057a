// Loops over things other than products: a counted range, the pricing
// notes, the currencies, option codes, the lines of a loop file, the words
// of a list and the entries of a dictionary.  Each publishes its item in
// DICT_ORVEL variables and keeps the variables an outer loop of the same
// kind relies on.
#include "ovml/loops.h"

#include "ovml/loops_internal.h"
#include "ovml/loops_seams.h"
#include "ovml/registry.h"
#include "ovml/render.h"
#include "ovml/tokens.h"

#include "config/paths.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

using namespace loops;

namespace {

// WORDn numbering runs up to this and then starts again at 1.
constexpr int MAX_WORD_NUMBER = 9999;

std::string word_name(std::size_t index) {
    return "WORD" + std::to_string(static_cast<int>(index % MAX_WORD_NUMBER) + 1);
}

// The lines of a C text, copied.
std::vector<std::string> text_lines(const text *t) {
    std::vector<std::string> lines;
    for (const textstring *n = t ? t->first : nullptr; n; n = n->next) lines.emplace_back(n->string ? n->string : "");
    return lines;
}

bool unsafe_path(std::string_view path) { return path.empty() || path.front() == '.' || path.find("..") != npos; }

// The lines a file loop runs over, or the error comment that replaces the
// loop's output.
std::optional<std::vector<std::string>> file_loop_source(var *attrs, std::string &error) {
    const std::string src = attr_string(attrs, "SRC");
    const std::string basedir = attr_string(attrs, "BASEDIR");
    if (basedir.empty()) {
        bool owned = false;
        text *t = get_loop_text(src, &owned);
        if (!t) {
            error = Orvel_OVML_output_error("failed to load loop source %s", src.c_str());
            return std::nullopt;
        }
        std::vector<std::string> lines = text_lines(t);
        if (owned) free_text(t);
        return lines;
    }
    const std::string path = basedir + "/" + src;
    if (unsafe_path(src) || unsafe_path(path)) {
        error = Orvel_OVML_output_error("filename %s is unsafe", path.c_str());
        return std::nullopt;
    }
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f) {
        error = Orvel_OVML_output_error("failed to read %s", path.c_str());
        return std::nullopt;
    }
    text *t = new_text(nullptr);
    fp_slurp_file(f, t, '#');
    std::fclose(f);
    std::vector<std::string> lines = text_lines(t);
    free_text(t);
    return lines;
}

// OVML=Full: the whole source rendered as a template (each line with a
// line feed), then broken into lines again.
std::vector<std::string> rendered_source(const std::vector<std::string> &lines) {
    OVMLText source;
    for (const std::string &line : lines) source.add(line + "\n");
    const std::string rendered = render_OVML_Text(source);
    text *whole = new_text(dup_cstring(rendered));
    text *broken = break_text(whole);
    std::vector<std::string> result = text_lines(broken);
    free_text(broken);
    free_text(whole);
    return result;
}

// The dictionary a ROOT attribute names, as the variable-setting element
// reads it: none given means the template variables; an unknown name, no
// dictionary.
var *named_root(std::string_view root) {
    if (root.empty()) return DICT_VARIABLES;
    static const std::pair<const char *, var **> roots[] = {
        {"SHOPPER", &DICT_SHOPPER}, {"INPUT", &DICT_INPUT},         {"COOKIES", &DICT_COOKIES},
        {"ORVEL", &DICT_ORVEL},     {"VARIABLES", &DICT_VARIABLES}, {"CONFIG", &DICT_CONFIG},
        {"TOTALS", &DICT_TOTALS},   {"SELECTED", &DICT_SELECTED},
    };
    for (const auto &[name, dict] : roots)
        if (strisame(root, name)) return *dict;
    if (stribeg(root, "URL")) return DICT_URL;
    if (stribeg(root, "ARG")) return DICT_ARGS;
    return nullptr;
}

std::optional<std::string> orvel_string(std::string_view name) {
    var *v = get_var(DICT_ORVEL, name);
    if (!v || v == DICT_ORVEL) return std::nullopt;
    return std::string(value_view(v->value));
}

void restore_orvel_string(std::string_view name, const std::optional<std::string> &saved) {
    if (saved) set_loop_string(name, *saved);
    else unset_var(DICT_ORVEL, name);
}

}  // namespace

std::string render_OVML_Generic_Loop(const OVMLText &body, var *attrs) {
    const int first = attr_integer(attrs, "FIRST", 1);
    const int last = attr_integer(attrs, "LAST", first);
    const int saved = get_counter("LOOP_COUNT");
    std::string out;
    // At least one pass, even when LAST is below FIRST.
    long long index = first;
    do {
        set_counter("LOOP_COUNT", static_cast<int>(index));
        out += render_OVML_Text(body);
        ++index;
    } while (index <= last);
    set_counter("LOOP_COUNT", saved);
    // The index after the last pass, not the number of passes.
    set_counter("LOOP_TOTAL", index > INT_MAX ? INT_MAX : static_cast<int>(index));
    return out;
}

std::string render_OVML_Note_Loop(const OVMLText &body) {
    std::vector<std::string> notes;
    for (var *v = DICT_NOTES ? DICT_NOTES->next : nullptr; v; v = v->next)
        notes.emplace_back(value_view(v->value));
    const int saved = get_counter("NOTE_LOOP_COUNT");
    std::string out;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        set_counter("NOTE_LOOP_COUNT", static_cast<int>(i + 1));
        set_loop_string("NOTE", notes[i]);
        out += render_OVML_Text(body);
    }
    set_counter("NOTE_LOOP_COUNT", saved);
    set_counter("NOTE_LOOP_TOTAL", static_cast<int>(notes.size()));
    return out;
}

std::string render_OVML_Currency_Loop(const OVMLText &body) {
    load_currency_rules();
    std::vector<std::pair<std::string, std::string>> rules;
    for (var *v = DICT_CURRENCY ? DICT_CURRENCY->next : nullptr; v; v = v->next)
        rules.emplace_back(v->name ? v->name : "", value_view(v->value));
    std::string out;
    // WORD1 to WORD3 stay as the last pass set them.
    for (const auto &[name, rule] : rules) {
        set_loop_string("WORD1", name);
        set_loop_string("WORD2", dupsprintf("%.2f", rule_float(rule)));
        set_loop_string("WORD3", rule_note(rule));
        out += render_OVML_Text(body);
    }
    return out;
}

std::string render_OVML_Options_Loop(const OVMLText &body, std::string_view group, std::string_view source) {
    load_options();
    // (code, rule) of every pass, gathered first.
    std::vector<std::pair<std::string, std::string>> passes;
    if (!source.empty()) {
        var *all = nested_dict(DICT_OPTIONS, " ALL_OPTIONS");
        for (const std::string &code : split_words(ovmlsub(upper(source)), ';')) {
            var *rule = all ? get_var(all, code) : nullptr;
            if (rule && rule != all && !value_view(rule->value).empty())
                passes.emplace_back(code, value_view(rule->value));
        }
    } else {
        const std::string groups = group.empty() ? std::string(" ALL_OPTIONS") : upper(group);
        for (const std::string &name : split_words(groups, ';')) {
            var *codes = nested_dict(DICT_OPTIONS, name);
            for (var *code = codes ? codes->next : nullptr; code; code = code->next)
                passes.emplace_back(code->name ? code->name : "", value_view(code->value));
        }
    }
    if (passes.empty()) return "No options from given groups.";
    std::string out;
    for (const auto &[code, rule] : passes) {
        set_loop_string("WORD1", code);
        set_loop_string("WORD2", rule_note(rule));
        out += render_OVML_Text(body);
    }
    set_loop_string("WORD1", "");
    set_loop_string("WORD2", "");
    return out;
}

std::string render_OVML_File_Loop(const OVMLText &body, var *attrs) {
    std::string error;
    std::optional<std::vector<std::string>> source = file_loop_source(attrs, error);
    if (!source) return error;
    std::vector<std::string> lines = std::move(*source);

    // OVML=Full renders the whole source first; any other true value
    // renders the tokens of each line and field.
    const std::string ovml = attr_string(attrs, "OVML");
    bool render_fields = false;
    if (strisame(ovml, "Full")) lines = rendered_source(lines);
    else render_fields = is_true(ovml);

    const Choices order = loop_choices(attrs, static_cast<int>(lines.size()), false);
    const int saved = get_counter("FILE_LOOP_COUNT");
    std::string out;
    int passes = 0;
    for (const int position : order) {
        const std::string &line = lines[position - 1];
        set_counter("FILE_LOOP_COUNT", ++passes);
        set_loop_string("LINE", render_fields ? ovmlsub(line) : line);
        const std::vector<std::string> fields = split_words(line, ';');
        for (std::size_t i = 0; i < fields.size(); ++i)
            set_loop_string(word_name(i), render_fields ? ovmlsub(fields[i]) : fields[i]);
        out += render_OVML_Text(body);
        for (std::size_t i = 0; i < fields.size() && i < MAX_WORD_NUMBER; ++i) set_loop_string(word_name(i), "");
    }
    set_counter("FILE_LOOP_COUNT", saved);
    set_counter("FILE_LOOP_TOTAL", passes);
    return out;
}

std::string render_OVML_Word_Loop(const OVMLText &body, var *attrs) {
    const std::vector<std::string> words = split_words(attr_string(attrs, "SRC"), ';');
    const Choices order = loop_choices(attrs, static_cast<int>(words.size()), false);
    const int saved = get_counter("WORD_LOOP_COUNT");
    std::string out;
    int passes = 0;
    for (const int position : order) {
        set_counter("WORD_LOOP_COUNT", ++passes);
        set_loop_string("WORD", words[position - 1]);
        out += render_OVML_Text(body);
    }
    set_counter("WORD_LOOP_COUNT", saved);
    set_counter("WORD_LOOP_TOTAL", passes);
    set_loop_string("WORD", "");
    return out;
}

std::string render_OVML_Dump_Loop(const OVMLText &body, var *attrs) {
    var *root = named_root(attr_string(attrs, "ROOT"));
    if (!root) return "";
    // Entries copied first: the dump may be of DICT_ORVEL itself, which
    // the passes write to.
    std::vector<std::pair<std::string, std::string>> entries;
    for (var *v = root->next; v; v = v->next) entries.emplace_back(v->name ? v->name : "", value_view(v->value));
    const std::optional<std::string> saved_key = orvel_string("DUMP_KEY");
    const std::optional<std::string> saved_val = orvel_string("DUMP_VAL");
    std::string out;
    for (const auto &[key, val] : entries) {
        set_loop_string("DUMP_KEY", key);
        set_loop_string("DUMP_VAL", val);
        out += render_OVML_Text(body);
    }
    restore_orvel_string("DUMP_KEY", saved_key);
    restore_orvel_string("DUMP_VAL", saved_val);
    return out;
}
