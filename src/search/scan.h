// The search scanner: one forward pass over the products file (or the
// delimited products table) that scores every product against a query's
// specification and collects the matches in file order with their ranks.
// It reads field lines itself, normalising each value the way patterns
// are normalised, and leaves the values of fields the query does not name
// unread.
#pragma once

#include "search/search_spec.h"

#include <cstdio>
#include <string_view>

// get_search_line results.
enum {
    SEARCH_LINE_EOF = -1,   // end of file, nothing read
    SEARCH_LINE_NONE = 0,   // blank line, comment or text without a field
    SEARCH_LINE_LAST = 1,   // a field line; the file ended with it
    SEARCH_LINE_FIELD = 2,  // a field line
    SEARCH_LINE_ID = 3      // a product-id line: a new product begins
};

// Longest kept field name and longest normalised value of a line, and the
// longest product id kept.
constexpr std::size_t SEARCH_NAME_MAX = 127;
constexpr std::size_t SEARCH_VALUE_MAX = 8191;
constexpr std::size_t SEARCH_ID_MAX = 128;

// True for a field name that counts as the product id: it begins with S
// and has K, U, I and D after it in that order (SKUID, SKU_ID, SKUIDS).
bool is_search_id_field(std::string_view name);

// Reads one line of an open products file into `line`.  Values keep their
// blanks and punctuation in word mode and in product-id lines; otherwise
// only letters (upper-cased), digits and '.' are kept.
int get_search_line(FILE *file, SearchLine &line, bool word_mode);

// Runs the query over an open products file from its current position:
// the plug-ins' search first, then the scan.  Fills the query's ids,
// ranks, total and stop offset; the products of the first page of matches
// are loaded into DICT_PRODUCTS.  Returns the number of matches.
int doSearch_fp(FILE *file, SearchQuery *query);
// The same over the store's products file; ends the request when it
// cannot be opened.
int doSearch(SearchQuery *query);

// The products a specification finds (at most `max_hits`, in file order,
// loaded as they are found) entered by id into the dictionary `into`; the
// number found.  Template loops list products this way.  Ends the request
// when the products file cannot be opened.
int search_product_ids(std::string_view spec, int max_hits, var *into);

// The scan itself over products text held in memory (the products-file
// form, or the delimited table when `delimiter` is 0 to 255).  `base` is
// the text's offset in its file.
int search_products_text(std::string_view data, SearchQuery *query, int delimiter, unsigned base = 0);
