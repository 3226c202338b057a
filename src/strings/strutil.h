// The program's string vocabulary: comparison, search, case, trimming,
// substitution, fixed-width fields, wrapping, field tokenising, formatting
// and the per-request date helpers.  Inputs are string_views; operations
// that build text return std::string; "in place" operations take a
// std::string& and return it.  Positions are byte offsets, npos when absent.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t npos = std::string_view::npos;

// ---- comparison and search ------------------------------------------------
bool strsame(std::string_view a, std::string_view b);
bool strisame(std::string_view a, std::string_view b);
bool strbeg(std::string_view text, std::string_view prefix);
bool stribeg(std::string_view text, std::string_view prefix);
// Offset of the suffix when the text ends with it, else npos.
std::size_t my_strend(std::string_view text, std::string_view suffix);
std::size_t striend(std::string_view text, std::string_view suffix);
std::size_t my_stristr(std::string_view text, std::string_view part);
// Occurrence with no word character (letter, digit, '_') before and after.
std::size_t strword(std::string_view text, std::string_view word);
std::size_t striword(std::string_view text, std::string_view word);
std::size_t strwordbeg(std::string_view text, std::string_view word);
std::size_t striwordbeg(std::string_view text, std::string_view word);
std::size_t strwordend(std::string_view text, std::string_view word);
std::size_t striwordend(std::string_view text, std::string_view word);
int strcindex(std::string_view text, char ch);               // 1-based, 0 absent
long strlidx(std::string_view text, char ch, long from = -1); // -1: from the end
std::size_t strnth(std::string_view text, int n, char ch);   // offset after n-th ch
int chrcount(std::string_view text, char ch);
int strsum(std::string_view text);
uint32_t my_strhash(std::string_view text);
std::size_t strsuff(std::string_view path);  // offset after the last '.', npos
bool strwhite(std::string_view text);
bool is_blankline(std::string_view text);
bool is_numeric(std::string_view text);
bool is_true(std::string_view text);

// ---- changing text ----------------------------------------------------------
std::string strdupuntil(std::string_view text, std::size_t end);
std::string &UPPERCASE(std::string &text);
std::string &lowercase(std::string &text);
std::string upper(std::string_view text);
std::string lower(std::string_view text);
std::string &Orvel_Capitalize_words(std::string &text);
std::string &Orvel_Capitalize_sentences(std::string &text);
std::string &chrsub(std::string &text, char from, char to);
std::string &chrisub(std::string &text, char from, char to);
std::string chrsqz(std::string_view text, char ch, char to);
std::string strstrip(std::string_view text, std::string_view set);
std::string strstripc(std::string_view text, std::string_view set);
std::string strsub(std::string_view text, std::string_view pattern, std::string_view replacement);
std::string strisub(std::string_view text, std::string_view pattern, std::string_view replacement);
std::string &squeeze_nl(std::string &text);
std::string &escape_nl(std::string &text);    // CR -> BEL (7), LF -> TAB
std::string &unescape_nl(std::string &text);  // BEL -> CR, TAB -> LF
std::string_view triml(std::string_view text, char ch);
std::string_view trimr(std::string_view text, char ch);
std::string_view trim(std::string_view text, char ch);
std::string_view triml_ws(std::string_view text);
std::string_view trimr_ws(std::string_view text);
std::string_view trim_ws(std::string_view text);
std::string_view triml_nl(std::string_view text);
std::string_view trimr_nl(std::string_view text);
std::string_view chop_nl(std::string_view text);
std::string quote_html_specials(std::string_view text);
std::string fixwidth_left(std::string_view text, int width, char pad);
std::string fixwidth_right(std::string_view text, int width, char pad);
std::string strwrap(std::string_view text, int width, int min_break, bool pad, char pad_char,
                    std::string_view prefix, std::string_view suffix);

// ---- fields -------------------------------------------------------------------
// The pieces of `text` between occurrences of `separator`, empty ones kept
// ("a;;b" gives a, "", b); an empty text gives no pieces.  The views point
// into `text`.
std::vector<std::string_view> split_list(std::string_view text, char separator);
// Copies one delimited field into `out`; returns the characters copied
// before a closing quote is dropped.
int prodntok(std::string_view text, char delimiter, std::string &out, std::size_t max);
struct QuotePositions { std::size_t open = npos, close = npos; };
// 1: no opener; -1: closer missing; 0: both positions set.
int strquot(std::string_view text, QuotePositions &result, std::string_view openers,
            std::string_view closers);

// ---- formatting ---------------------------------------------------------------
// Formatted text, sized exactly (never cut).
std::string dupsprintf(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string dupvsprintf(const char *format, va_list args);
std::string float_as_dollar_string(double amount);

// ---- dates ---------------------------------------------------------------------
std::string my_timesub(const char *format, const std::time_t *when, bool gmt);
std::string new_ctime(std::time_t when, bool gmt);
std::string new_rfc850_date(std::time_t when);
std::string new_rfc1123_date(std::time_t when);
// Local "%Y%m%d", "%H%M%S" and both; with no time given, the request's
// fixed "now" (computed on first use, then the same for the whole process).
std::string my_strdate(const std::time_t *when = nullptr);
std::string my_strtime(const std::time_t *when = nullptr);
std::string my_strdatetime(const std::time_t *when = nullptr);
std::time_t Orvel_datetoseconds(const char *text);
