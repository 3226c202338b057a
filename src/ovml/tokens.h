// OVML tokens: the "%OV" letter "_" NAME values that templates, element
// attributes, rule texts and messages insert from the dictionaries, with
// "|" fall-backs, fixed widths, computed names in braces, cart sums, dates,
// product information, display names, and the ORVEL_PRODUCT= form special.
//
// The token pass runs on every rendered line, so the scanner works on
// string_views and appends into one output string; dictionary values are
// looked up by view without copies.
#pragma once

#include <orvel.h>

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// The token pass: every token replaced by its value (a copy when the text
// holds no token).
std::string ovmlsub(std::string_view text);

// Every token of `text` replaced, or nullopt when it holds no "%OV"
// (ignoring case).  `complex` is set only for the inside of "%OV{...}".
std::optional<std::string> render_OVML_Tokens(std::string_view text, bool complex);

// The line with each ORVEL_PRODUCT=SKUID replaced by the quantity input's
// NAME and VALUE attributes, or nullopt when the line holds none.
std::optional<std::string> render_OVML_Specials(std::string_view line);

// The value of one token text ("%OVM_10R_NAME|%OVE_X|literal"), with its
// fall-backs and width.  Texts of 5 characters or fewer and texts that do
// not begin with "%OV" come back unchanged.
std::string parse_OVML_Token_Expression(std::string_view token);

// The value of an upper-case token name "L_REST", or nullopt when the name
// has none (an absent variable, an unknown letter).  Computed letters
// (D G I Q S) always give a text.
std::optional<std::string> get_OVML_Token_Value(std::string_view upper_name);

// The display name for a shopper-field token ending in "_NAME"
// ("E_SHIP_METHOD_NAME"), or nullopt.
std::optional<std::string> get_OVML_Token_Name(std::string_view upper_name);

// A sum over the cart: "FIELD", "FIELD?COND", "FIELD~COND" (only lines
// meeting COND) or "FIELD!COND" (lines not meeting it); "%.2f", or "%d"
// of the total cut toward zero with the tweak ROUNDSUMS.
std::string get_OVML_Sum(std::string_view spec);
// The amount one cart line adds to a sum of `field`; false when the line
// adds nothing.
bool get_Sum_Float(var *product, std::string_view field, int quantity, double *result);

// A time moved by an adjustment "F30D" / "P2H" (direction, number, unit
// letter) from *base, or from now without one.  *unit receives the unit in
// seconds.  An adjustment that does not read as character, number,
// character gives 0 and leaves *unit unset.
std::time_t Orvel_OVML_adjust_time(std::string_view spec, const std::time_t *base, long *unit);
// The text of the adjusted date: the cookie form with the tweak
// COOKIEDATES, date and time for units under a day, else the date.  An
// unreadable adjustment gives "".
std::string get_OVML_Token_Date(std::string_view spec);

// Product information: a field of the product named by `skuid_or_null`,
// or of the current product, plus the computed fields QUANTITY,
// TOTAL_PRICE, TOTAL_WEIGHT, CHECKED and SELECTED.
std::string get_OVML_DBREF_Info(const char *skuid_or_null, std::string_view field);

// Replaces every string value of `v` and of the variables after it in its
// chain by its token pass.
void OVMLify_fields(var *v);

// While an object of this class lives, line feeds and carriage returns
// inside token values are written as VALUE_LF_STAND_IN and
// VALUE_CR_STAND_IN, so that a text whose lines are read for their
// structure (the header lines at the top of a mail) can tell the
// template's own lines from breaks inside a shopper's value.
// restore_token_line_breaks turns the stand-ins back.  Scopes nest.
inline constexpr char VALUE_LF_STAND_IN = '\x1c';
inline constexpr char VALUE_CR_STAND_IN = '\x1d';
class TokenLineBreakStandIns {
public:
    TokenLineBreakStandIns();
    ~TokenLineBreakStandIns();
    TokenLineBreakStandIns(const TokenLineBreakStandIns &) = delete;
    TokenLineBreakStandIns &operator=(const TokenLineBreakStandIns &) = delete;
};
std::string restore_token_line_breaks(std::string text);

// Forgets the configuration switches read once per process
// (RAW_COMPLEX_TOKENS, DISABLE_FOO_NAMES, UNSELECTED_QUANTITY), so that a
// test can start as a new process would.
void reset_token_state();
