#include "rules/field_rules.h"

#include "config/config.h"
#include "config/paths.h"
#include "platform/card.h"
#include "platform/errors.h"
#include "rules/rules.h"
#include "session/client_store.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <vector>

namespace {

// Fields that steer one request only; they are never kept, whatever the
// merchant's file says.
constexpr std::string_view REQUEST_ONLY_FIELDS[] = {"ACTION", "ITEM", "TEMPLATE", "RANDOMIZER", "SEARCH_SPEC"};

// The separator a [MIVS] value stands for: a value beginning with a digit
// is a character code, anything else is the separator itself.
std::string mivs_separator(std::string_view value) {
    if (value.empty() || !std::isdigit(static_cast<unsigned char>(value.front()))) return std::string(value);
    const long code = std::strtol(std::string(value).c_str(), nullptr, 10);
    if (code < 1 || code > 255) return {};
    return std::string(1, static_cast<char>(code));
}

var *section_dict(std::string_view section, std::string_view action) {
    if (section == "ALL" || (!action.empty() && strisame(section, action))) return DICT_FIELDS;
    if (section == "MIVS") return DICT_MIVS;
    if (section == "NAMES") return DICT_NAMES;
    if (section == "MESSAGES") return DICT_MESSAGES;
    return nullptr;
}

// The rule's mode character, "" when the field has no rule.
char field_mode(std::string_view field) {
    std::string_view rule = DICT_FIELDS ? var_string(DICT_FIELDS, upper(field)) : std::string_view();
    return rule.empty() ? '\0' : rule.front();
}

// A card month or year as the shopper typed it; -1 when it is not a
// whole non-negative number.
int card_number_field(std::string_view field) {
    std::string_view text = trim_ws(var_string(DICT_SHOPPER, field));
    int n = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n < 0) return -1;
    return n;
}

std::string join(const std::vector<std::string> &parts, std::string_view separator) {
    std::string out;
    for (const std::string &p : parts) {
        if (!out.empty()) out += separator;
        out += p;
    }
    return out;
}

// The missing or invalid fields of one check: the labels shown to the
// shopper and the "FIELD:label" entries the error page can mark.
struct FieldProblems {
    std::vector<std::string> labels;
    std::vector<std::string> entries;
    void add(std::string_view field, std::string_view label) {
        labels.emplace_back(label);
        entries.push_back(std::string(field) + ":" + std::string(label));
    }
};

void append_sentence(std::string &message, const std::string &sentence) {
    if (!message.empty()) message += "  ";
    message += sentence;
}

}  // namespace

void get_field_rules(std::string_view action) {
    const std::string path = get_rules_pathname("field.rules");
    std::optional<std::string> text = get_possibly_OVMLified_Rules(path, should_OVMLify_rules("field"));
    if (!text)
        cgidie("Failed to open \"%s\" for reading.  This usually means that the value of the <TT>CAT_DIR</TT> field in "
               "your <B><TT>orvel.config</TT></B> file is incorrect. Make sure it is the full name of the directory "
               "where you installed (among others) your products file.",
               quote_html_specials(path).c_str());

    var *dict = nullptr;
    for (std::string_view line : split_list(*text, '\n')) {
        line = trim_ws(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            dict = section_dict(upper(trim_ws(line.substr(1, line.size() - 2))), action);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (!dict || colon == npos) continue;
        const std::string name = upper(trim_ws(line.substr(0, colon)));
        if (name.empty()) continue;
        const std::string_view rule = trim_ws(line.substr(colon + 1));
        if (dict == DICT_MIVS) set_string(dict, name, mivs_separator(rule));
        else set_string(dict, name, rule);
    }
    for (std::string_view field : REQUEST_ONLY_FIELDS) set_string(DICT_FIELDS, field, "-");
}

void validate_fields(std::string_view action) {
    get_field_rules(action);
    const bool check_email = config_boolean("CHECK_EMAIL");
    FieldProblems missing, invalid;

    for (var *v = DICT_FIELDS->next; v; v = v->next) {
        if (!v->name) continue;
        const std::string_view rule = value_view(v->value);
        if (rule.empty()) continue;
        const char mode = rule.front();
        const std::string label(rule.substr(1));
        const std::string_view field(v->name);
        const std::string_view given = var_string(DICT_SHOPPER, field);
        if (strwhite(given)) {
            if (mode == '!' || mode == '+') {
                missing.add(field, label);
            } else if (mode == '=') {
                set_string(DICT_SHOPPER, field, label);
            } else if (mode == '~') {
                const std::string source(var_string(DICT_SHOPPER, upper(trim_ws(label))));
                if (!source.empty()) set_string(DICT_SHOPPER, field, source);
            }
        } else if (check_email && field.find("EMAIL") != npos && !is_valid_inet_email(given)) {
            invalid.add(field, label);
        }
    }

    std::string message;
    if (!missing.labels.empty())
        message = cook_custom_message("FIELDS_MISSING", "You didn't enter value(s) for <B>%f</B>.", true,
                                      {{"%f", join(missing.labels, ", ")}});
    if (!invalid.labels.empty())
        append_sentence(message, cook_custom_message("FIELDS_INVALID", "You entered invalid value(s) for <B>%f</B>.",
                                                     true, {{"%f", join(invalid.labels, ", ")}}));

    if (field_rules_required_field("CREDIT_CODE") && config_boolean("CHECK_CCN")) {
        const std::string number(var_string(DICT_SHOPPER, "CREDIT_CODE"));
        if (!number.empty() && invalid_credit_card(number.c_str()) != 0) {
            append_sentence(message, cook_custom_message(CCN_INVALID_MESSAGE, CCN_INVALID_DEFAULT, true));
            invalid.entries.emplace_back("CREDIT_CODE:your credit card number");
        }
    }
    if ((field_rules_required_field("CREDIT_MONTH") || field_rules_required_field("CREDIT_YEAR")) &&
        config_boolean("CHECK_CCD")) {
        const int month = card_number_field("CREDIT_MONTH"), year = card_number_field("CREDIT_YEAR");
        if (month >= 0 && year >= 0 && invalid_credit_card_date(month, year) == 1) {
            append_sentence(message, cook_custom_message(CCD_EXPIRED_MESSAGE, CCD_EXPIRED_DEFAULT, true));
            invalid.entries.emplace_back("CREDIT_MONTH:the month your credit card expires");
            invalid.entries.emplace_back("CREDIT_YEAR:the year your credit card expires");
        }
    }
    if (message.empty()) return;

    // The shopper's other input is kept for the second try.
    write_client();
    set_string(DICT_ORVEL, "FIELDS_MISSING", join(missing.entries, ";"));
    set_string(DICT_ORVEL, "FIELDS_INVALID", join(invalid.entries, ";"));
    append_sentence(message, cook_custom_message("FIELDS_TRY_AGAIN", "Please go back and try again.", true));
    // Not expanded again: the labels may carry values rendered from the
    // shopper's input, which must stay text.
    croak_custom_message("INPUT_ERROR", "error", message, false);
}

void revalidate_fields(std::string_view action) {
    while (DICT_FIELDS->next) unset_var(DICT_FIELDS, DICT_FIELDS->next->name);
    validate_fields(action);
}

std::optional<std::string> field_rules_required_field(std::string_view field) {
    const char mode = field_mode(field);
    if (mode != '!' && mode != '+') return std::nullopt;
    return std::string(var_string(DICT_FIELDS, upper(field)).substr(1));
}

int field_rules_save_field(std::string_view field) {
    const char mode = field_mode(field);
    return mode == '!' || mode == '-' ? 0 : 1;
}

int is_valid_inet_email(std::string_view text) {
    text = trim_ws(text);
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::string_view("@._-+$#%'").find(c) == npos) return 0;
    const std::size_t at = text.find('@');
    if (at == npos || at == 0) return 0;
    const std::string_view domain = text.substr(at + 1);
    if (domain.empty() || domain.front() == '.') return 0;
    const std::size_t dot = domain.find('.');
    return dot != npos && dot + 1 < domain.size() ? 1 : 0;
}
