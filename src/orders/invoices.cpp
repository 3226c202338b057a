#include "orders/invoices.h"

#include "config/config.h"
#include "config/paths.h"
#include "ext/plugins.h"
#include "ovml/render.h"
#include "ovml/tokens.h"
#include "platform/commands.h"
#include "platform/errors.h"
#include "rules/field_rules.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdlib>
#include <memory>

namespace {

constexpr std::string_view CARD_SUMMARY =
    "%OVE_CREDIT_CODE (%OVE_CREDIT_TYPE; expires %OVE_CREDIT_MONTH/%OVE_CREDIT_YEAR), issued to "
    "\"%OVE_CREDIT_NAME\"";

using DictPtr = std::unique_ptr<var, decltype(&nuke_var)>;
using TextPtr = std::unique_ptr<text, decltype(&free_text)>;

// The length of the line that starts at `at`, line feed included.
std::size_t line_length(std::string_view s, std::size_t at) {
    std::size_t eol = s.find('\n', at);
    return (eol == npos ? s.size() : eol + 1) - at;
}

// Removes blank lines from the top of the body.
std::string drop_leading_blank_lines(std::string body) {
    std::size_t at = 0;
    while (at < body.size()) {
        std::size_t len = line_length(body, at);
        if (!strwhite(std::string_view(body).substr(at, len))) break;
        at += len;
    }
    return body.substr(at);
}

}  // namespace

void derive_invoice_subs() {
    if (var_defined(DICT_ORVEL, "PAYMENT_INFO")) return;
    std::string_view given = var_string(DICT_SHOPPER, "PAYMENT_INFO");
    set_string(DICT_ORVEL, "PAYMENT_INFO", given.empty() ? ovmlsub(CARD_SUMMARY) : std::string(given));
}

std::string render_OVML_Invoice(const std::string &template_path) {
    derive_invoice_subs();
    std::optional<std::string> rendered = render_OVML_File(template_path);
    if (!rendered)
        cgidie("Failed to open order invoice template \"%s\".", quote_html_specials(template_path).c_str());
    return std::move(*rendered);
}

std::string process_email_template(std::string body, var *headers, bool remove) {
    if (!config_boolean("REPLACE_EMAIL_HEADERS")) return body;
    std::size_t at = 0;  // start of the line being looked at
    bool taken = false;
    while (at < body.size()) {
        const std::size_t len = line_length(body, at);
        const std::string_view line = std::string_view(body).substr(at, len);
        if (strwhite(line)) {
            if (taken && remove) body.erase(at, len);
            break;
        }
        const std::size_t colon = line.find(':');
        if (colon == npos) break;
        const std::string name = upper(trim_ws(line.substr(0, colon)));
        if (name.empty() || name.find_first_of(" \t") != npos) break;
        // A line break inside a shopper's value is no header line: it stays
        // inside this header's value, as a blank.
        std::string value(trim_ws(line.substr(colon + 1)));
        for (char &c : value)
            if (c == VALUE_LF_STAND_IN || c == VALUE_CR_STAND_IN) c = ' ';
        if (var *existing = get_var_case_insensitive(headers, name.c_str()))
            var_value_set(existing, TYPE_STRING, dup_cstring(value));
        else
            set_string(headers, name, value);
        taken = true;
        if (remove) body.erase(at, len);
        else at += len;
    }
    return body;
}

void mail_invoice(const std::string &template_path, std::string_view to_view, std::string_view from_view,
                  bool encrypt) {
    // Copies: rendering the invoice may change the dictionaries these
    // texts live in.
    const std::string to(to_view);
    std::string from(from_view);
    // The header list lives inside the argument list the plug-ins are
    // offered, so both are freed together.
    DictPtr args(new_dict("[MAIL]"), &nuke_var);
    set_var(args.get(), "HEADERS", TYPE_VAR, new_dict("Mail-Headers"));
    var *headers = value_as_var(get_var(args.get(), std::string_view("HEADERS"))->value);

    set_string(headers, "To", to);
    std::string_view subject = config_string("ORDER_SUBJECT");
    set_string(headers, "Subject", ovmlsub(subject.empty() ? "%OVM_STORE_NAME Orvel Order" : subject));
    const std::string store_email(config_string("STORE_EMAIL"));
    if (from.empty()) from = store_email;
    if (!from.empty()) {
        set_string(headers, "From", from);
        set_string(headers, "Reply-To", from);
    }
    if (!store_email.empty()) set_string(headers, "Errors-To", store_email);
    if (const std::string home(config_string("STORE_HOMEPAGE")); !home.empty()) set_string(headers, "X-URL", home);

    // Rendered with the line breaks of token values held as stand-ins
    // while header lines are taken from the top, so that no value a
    // shopper typed can add a header (a Bcc: line) or a recipient.
    derive_invoice_subs();
    std::string marked;
    {
        TokenLineBreakStandIns stand_ins;
        marked = process_email_template(render_OVML_Invoice(template_path), headers, true);
    }
    std::string body = restore_token_line_breaks(marked);
    TextPtr lines(new_text(dup_cstring(body)), &free_text);
    if (encrypt) {
        set_var(args.get(), "BODY", TYPE_TEXT, lines.get());
        poll_plugins("plugin_encrypt_mail", args.get());
        std::unique_ptr<char, decltype(&std::free)> changed(text_tostring(lines.get()), &std::free);
        // A body no plug-in changed is looked at in its marked form again.
        body = process_email_template(drop_leading_blank_lines(body == changed.get() ? marked : changed.get()),
                                      headers, true);
        body = restore_token_line_breaks(body);
        text_erase(lines.get());
        text_addstring(lines.get(), dup_cstring(body));
    }
    if (my_send_mail(headers, lines.get()) != 0)
        cgidie("Failed to send order invoice e-mail to %s.", quote_html_specials(to).c_str());
}

void mail_order_invoices() {
    const std::string bill_email(var_string(DICT_SHOPPER, "BILL_EMAIL"));
    // The shopper's address goes into the mails only when it is one
    // address: a list typed into the field would have the store mail
    // strangers (mail programs take recipients even from a From line).
    const bool one_address = is_valid_inet_email(bill_email) && bill_email.find('@') == bill_email.rfind('@');
    if (const std::string recipients(config_string("ORDER_RECIPIENTS")); !recipients.empty())
        mail_invoice(get_template_pathname("store_invoice.txt"), recipients, one_address ? bill_email : "", true);
    if (!config_boolean("MAIL_SHOPPER") || bill_email.empty()) return;
    if (!one_address) {
        std::string shown = bill_email;
        chrsub(chrsub(shown, '\n', ' '), '\r', ' ');
        overror("shopper invoice not sent: \"%s\" is not one mail address", shown.c_str());
        return;
    }
    mail_invoice(get_template_pathname("shopper_invoice.txt"), bill_email, std::string(config_string("STORE_EMAIL")),
                 false);
}
