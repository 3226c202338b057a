// The page of search results: modes, ranking, the matches of a page in
// DICT_MATCHES, the variables that describe the page, and the template
// shared by a page's products.
#include "search/results.h"

#include "catalog/products.h"
#include "config/config.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

namespace {

void set_orvel(std::string_view name, int n) { set_integer(DICT_ORVEL, name, n); }
void set_orvel(std::string_view name, std::string_view text) { set_string(DICT_ORVEL, name, text); }

int clamp_int(std::int64_t n) { return static_cast<int>(std::clamp<std::int64_t>(n, INT_MIN, INT_MAX)); }

}  // namespace

int determine_search_mode(std::string_view text) {
    if (text.empty()) return SEARCH_MODE_NEW;
    if (strisame(text, "NEXT")) return SEARCH_MODE_NEXT;
    if (stribeg(text, "PREV")) return SEARCH_MODE_PREVIOUS;
    if (strisame(text, "AGAIN") || strisame(text, "GOTO")) return SEARCH_MODE_AGAIN;
    if (strisame(text, "MAX")) return SEARCH_MODE_MAX;
    return SEARCH_MODE_NEW;
}

int search_post_process_matching_skuids(SearchQuery *query, bool ascending) {
    if (!query || !query->ids) return 0;
    const int n = query->ids->count;
    if (n == 0 || config_boolean("DISABLE_SEARCH_RANKING") || !query->ranks || query->ranks->count < n) return n;
    struct Match {
        value *id;
        value *rank;
        int number;  // the rank as a number
    };
    std::vector<Match> matches;
    matches.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        matches.push_back({query->ids->items[i], query->ranks->items[i], value_as_integer(query->ranks->items[i], 0)});
    // Stable: equal ranks keep their file order.
    std::stable_sort(matches.begin(), matches.end(), [ascending](const Match &a, const Match &b) {
        return ascending ? a.number < b.number : a.number > b.number;
    });
    for (int i = 0; i < n; ++i) {
        query->ids->items[i] = matches[static_cast<std::size_t>(i)].id;
        query->ranks->items[i] = matches[static_cast<std::size_t>(i)].rank;
    }
    return n;
}

void populate_matches_dictionary(const list *ids, const list *ranks, int first, int last) {
    if (!ids) return;
    for (int i = std::max(first, 0); i <= last && i < ids->count; ++i) {
        const int rank = ranks && i < ranks->count ? value_as_integer(ranks->items[i], 0) : 0;
        set_integer(DICT_MATCHES, value_view(ids->items[i]), rank);
    }
}

void reset_search_tokens() {
    set_string(DICT_SHOPPER, "SEARCH_HISTORY_SPEC", "");
    set_string(DICT_SHOPPER, "SEARCH_HISTORY_SKUIDS", "");
    set_integer(DICT_SHOPPER, "SEARCH_HISTORY_PAGE", 0);
    set_integer(DICT_SHOPPER, "SEARCH_HISTORY_TOTAL", 0);
    set_integer(DICT_SHOPPER, "SEARCH_HISTORY_TOTAL_PAGES", 0);
    for (const char *name :
         {"SEARCH_PAGE_MATCHES", "SEARCH_PAGE_RANGE_LO", "MATCHES_LOOP_COUNT", "SEARCH_PAGE_RANGE_HI", "SEARCH_MORE",
          "SEARCH_PREV"})
        set_orvel(name, 0);
    set_orvel("SEARCH_MORE_PAGES", "no more");
    set_orvel("SEARCH_PREV_PAGES", "zero");
}

void save_search_results(const SearchQuery *query, int page_size, std::string_view spec_text, int mode, int page) {
    const int total = query ? query->total : 0;
    if (total <= 0) {
        reset_search_tokens();
        return;
    }
    const std::int64_t p = std::max(page_size, 1), g = std::max(page, 0), n = total;
    set_string(DICT_SHOPPER, "SEARCH_HISTORY_SPEC", spec_text);
    set_integer(DICT_SHOPPER, "SEARCH_HISTORY_PAGE", clamp_int(g + 1));
    if (mode == SEARCH_MODE_NEW || mode == SEARCH_MODE_MAX) {
        save_historical_query(query->ids, query->ranks);
        set_integer(DICT_SHOPPER, "SEARCH_HISTORY_TOTAL", total);
    }
    const std::int64_t pages = (n + p - 1) / p;
    const bool last_page = g + 1 >= pages;
    set_orvel("SEARCH_PREV", std::to_string(g));
    set_orvel("SEARCH_PREV_PAGES", g == 0 ? std::string("zero") : std::to_string(g));
    set_orvel("SEARCH_PAGE_MATCHES", clamp_int(std::min(n, p)));
    set_orvel("SEARCH_PAGE_RANGE_HI", clamp_int(last_page ? n : p * (g + 1)));
    set_orvel("SEARCH_PAGE_RANGE_LO", clamp_int(p * g + 1));
    set_orvel("MATCHES_LOOP_COUNT", clamp_int(p * g + 1));
    set_integer(DICT_SHOPPER, "SEARCH_HISTORY_TOTAL_PAGES", clamp_int(pages));
    set_orvel("SEARCH_MORE", clamp_int(pages - (g + 1)));
    set_orvel("SEARCH_MORE_PAGES", last_page ? std::string("no more") : std::to_string(pages - (g + 1)) + " more");
}

std::string find_common_matches_template() {
    std::string common;
    for (var *entry = DICT_MATCHES ? DICT_MATCHES->next : nullptr; entry; entry = entry->next) {
        var *field = get_product_field(get_product(entry->name ? entry->name : ""), "MTEMPLATE");
        if (!field) return {};
        const std::string_view name = value_view(field->value);
        if (name.empty()) return {};
        if (common.empty()) common = name;
        else if (common != name) return {};
    }
    return common;
}
