// Field validation: the merchant's field.rules says, per action, which
// shopper fields are required, which get default values, which are never
// stored in the session file, how repeated query values are joined ([MIVS])
// and which names and messages the store uses ([NAMES], [MESSAGES]).  The
// shopper's input is checked against it before an action runs; one error
// page names every missing and every invalid field.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Reads field.rules for `action` into DICT_FIELDS (the [ALL] section and
// the action's own, later lines replacing earlier ones), DICT_MIVS,
// DICT_NAMES and DICT_MESSAGES, and gives ACTION, ITEM, TEMPLATE,
// RANDOMIZER and SEARCH_SPEC the never-saved rule "-".  A missing or
// unreadable file ends the request.
void get_field_rules(std::string_view action);
// Reads the rules and checks the shopper's values: empty required fields,
// e-mail addresses (CHECK_EMAIL), the card number (CHECK_CCN) and expiry
// (CHECK_CCD); fills the "=" and "~" defaults.  Returns when all is well;
// otherwise saves the session, sets FIELDS_MISSING and FIELDS_INVALID in
// DICT_ORVEL ("FIELD:label" entries joined by ";") and ends the request
// with the INPUT_ERROR message.
void validate_fields(std::string_view action);
// Forgets the rules read so far, then validate_fields(action): for a
// request whose action changed on the way.
void revalidate_fields(std::string_view action);

// The label of a field whose rule makes it required ("!" or "+").
std::optional<std::string> field_rules_required_field(std::string_view field);
// 0 for a field whose rule is "!" or "-" (never stored in the session file
// or handed to scripts), else 1.
int field_rules_save_field(std::string_view field);

// 1 when the text (trimmed) looks like a mail address: only letters,
// digits and @._-+$#%' ; an "@" that is not the first character and is
// followed by something other than "."; a "." after the "@" with at least
// one character after it.
int is_valid_inet_email(std::string_view text);
