// Search results for shoppers: the SEARCH action and the ORVEL_SEARCH
// element (declared with the other actions and elements), the page of
// matches in DICT_MATCHES with its page-range variables, ranking, and the
// per-shopper history file that keeps a search's whole sorted result so
// that later pages need no new scan.
//
// History file "user<client>.matches" in the users directory, native byte
// order: the number of matches N and the record length L (two 32-bit
// integers), then N records of L bytes: the product id padded with zero
// bytes, the rank's low byte last.  It is replaced whole (written aside
// and renamed), so a reader never meets a half-written one.
#pragma once

#include "ovml/scanner.h"
#include "search/search_spec.h"

#include <optional>
#include <string>
#include <string_view>

// The element ORVEL_SEARCH: runs a search from a template (attributes
// ACTION, FIELD, LOGIC, COMP, MAXHITS, SPEC, PAGE) and sets the page
// variables; it prints nothing but its failures.
std::string do_OVML_Search(TagDef &def);

// Search modes, from the shopper field ITEM or the element's ACTION.
enum {
    SEARCH_MODE_PREVIOUS = -1,
    SEARCH_MODE_AGAIN = 0,  // AGAIN or GOTO: the stored page
    SEARCH_MODE_NEW = 1,
    SEARCH_MODE_NEXT = 2,
    SEARCH_MODE_MAX = 3     // a new search, every match on one page
};
int determine_search_mode(std::string_view text);

// Orders the query's matches by rank, highest first (lowest first when
// `ascending`), equal ranks keeping their file order; nothing is done when
// DISABLE_SEARCH_RANKING is set.  Returns the number of matches.
int search_post_process_matching_skuids(SearchQuery *query, bool ascending);
// DICT_MATCHES gets id -> rank for the positions first..last of the lists
// (stopping at their end).
void populate_matches_dictionary(const list *ids, const list *ranks, int first, int last);

// Empties the stored-search fields and sets the page variables for "no
// search".
void reset_search_tokens();
// Stores what the page and the next request need to know about a search
// of N = query->total matches shown P to a page, page index `page` (from
// 0): the history fields, the history file (new searches) and the page
// variables.
void save_search_results(const SearchQuery *query, int page_size, std::string_view spec_text, int mode, int page);

// The MTEMPLATE shared by every match of the page, or "".
std::string find_common_matches_template();

// The history file of the current shopper, or nullopt without a usable
// client id.
std::optional<std::string> get_search_history_fn();
// Writes the whole sorted result; the number of records written (0 when
// nothing could be written, which is logged).
int save_historical_query(const list *ids, const list *ranks);
// Adds up to the query's page size records, from record `skip` on, to
// DICT_MATCHES and sets the query's total; the number added.  A file that
// cannot be read, or whose record length is outside 1..128, gives 0
// (logged).
int load_historical_query(SearchQuery *query, int skip);
// Replaces DICT_MATCHES by the records from `skip` on, `last` - 1 of them
// (all when `last` is negative), for the matches loop.
void reload_historical_query(int skip, int last);
