// Elements that reach outside the process: ORVEL_API runs a merchant
// script and takes values from what it prints; ORVEL_EMAIL mails its
// rendered body through the mail program.
#include "ovml/elements.h"

#include "config/config.h"
#include "ext/scripts.h"
#include "orders/invoices.h"
#include "ovml/registry.h"
#include "ovml/render.h"
#include "ovml/tokens.h"
#include "platform/commands.h"
#include "vars/list.h"
#include "vars/vars.h"

#include <string>
#include <string_view>

namespace {

// The element's attributes: parsed from the tag text (names upper-cased,
// the last of a repeated name wins) and token-rendered.  Owns the dictionary.
class Attributes {
public:
    explicit Attributes(const TagDef &def) : dict_(new_dict("")) {
        to_fields(std::string_view(def.tag_text()), dict_, true, '\0');
        OVMLify_fields(dict_);
    }
    ~Attributes() { nuke_var(dict_); }
    Attributes(const Attributes &) = delete;
    Attributes &operator=(const Attributes &) = delete;

    std::string get(std::string_view name) const { return std::string(var_string(dict_, name)); }

private:
    var *dict_;
};

// Owns a C text for the length of a call.
class OwnedText {
public:
    OwnedText() : t_(new_text(nullptr)) {}
    ~OwnedText() { free_text(t_); }
    OwnedText(const OwnedText &) = delete;
    OwnedText &operator=(const OwnedText &) = delete;
    text *get() const { return t_; }

private:
    text *t_;
};

// Owns a dictionary for the length of a call.
class OwnedDict {
public:
    explicit OwnedDict(std::string_view label) : d_(new_dict(label)) {}
    ~OwnedDict() { nuke_var(d_); }
    OwnedDict(const OwnedDict &) = delete;
    OwnedDict &operator=(const OwnedDict &) = delete;
    var *get() const { return d_; }

private:
    var *d_;
};

// Adds `s` to `t` one line at a time, line feeds kept with their lines.
void add_lines(text *t, std::string_view s) {
    while (!s.empty()) {
        std::size_t eol = s.find('\n');
        std::size_t len = eol == std::string_view::npos ? s.size() : eol + 1;
        text_addstring(t, dup_cstring(s.substr(0, len)));
        s.remove_prefix(len);
    }
}

}  // namespace

std::string do_OVML_API(TagDef &def) {
    Attributes attrs(def);
    const std::string src = attrs.get("SRC");
    OwnedText output;
    if (run_user_script(src, attrs.get("ARGSTR"), nullptr, output.get()) != 0)
        return Orvel_OVML_output_error("failed to run API script %s", src.c_str());
    interpret_api_script_output(output.get());
    return "";
}

std::string do_OVML_Email(TagDef &def) {
    Attributes attrs(def);
    const std::string to = attrs.get("TO"), from = attrs.get("FROM"), subject = attrs.get("SUBJECT");

    OwnedDict headers("[HEADERS]");
    set_string(headers.get(), "To", to);
    set_string(headers.get(), "From", from);
    set_string(headers.get(), "Subject", subject);
    // Header lines at the top of the body may replace or add headers; line
    // breaks inside token values are held as stand-ins meanwhile, so a
    // value cannot add a header line of its own.
    std::string marked;
    {
        TokenLineBreakStandIns stand_ins;
        marked = process_email_template(def.has_body() ? render_OVML_Text(def.body_lines()) : std::string(),
                                        headers.get(), true);
    }
    OwnedText body;
    add_lines(body.get(), restore_token_line_breaks(std::move(marked)));

    if (var_string(headers.get(), "To").empty()) return Orvel_OVML_output_error("failed email: no recipient");
    if (var_string(headers.get(), "From").empty())
        set_string(headers.get(), "From", config_string("STORE_EMAIL"));

    if (my_send_mail(headers.get(), body.get()) != 0)
        return Orvel_OVML_output_error("failed email: from \"%s\" to \"%s\" with subject \"%s\"", from.c_str(),
                                       to.c_str(), subject.c_str());
    return "";
}
