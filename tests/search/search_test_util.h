// Shared set-up for the search tests: fresh dictionaries, a catalog
// directory configured as CAT_DIR, and short ways to run a query over a
// products text and read its matches.
#pragma once

#include "catalog/products.h"
#include "search/scan.h"
#include "search/search_spec.h"
#include "support/cgi_harness.h"
#include "strings/strutil.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace search_test {

class SearchTest : public ::testing::Test {
protected:
    SearchTest() {
        set_current_product(nullptr);
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
    }
    ~SearchTest() override { set_current_product(nullptr); }

    void products(const std::string &text) const { dir.write("products.txt", text); }
    static void config(std::string_view name, std::string_view value) { set_string(DICT_CONFIG, name, value); }
    static void shopper(std::string_view name, std::string_view value) { set_string(DICT_SHOPPER, name, value); }

    // The patterns of a parsed specification as "logic field comparison
    // pattern" terms joined by spaces.
    static std::string terms(std::string_view text, bool substitute = false) {
        SearchQueryPtr query = new_search_query(text, 10, substitute);
        return query ? canonical_search_spec_string(query.get()) : "<none>";
    }

    // "ID:rank" of every match, in the order found.
    static std::string matches(const SearchQuery *query) {
        std::string out;
        for (int i = 0; i < query->ids->count; ++i) {
            if (!out.empty()) out += ' ';
            out += value_view(query->ids->items[i]);
            out += ':';
            out += std::to_string(value_as_integer(query->ranks->items[i], 0));
        }
        return out;
    }
    // Runs a specification over the products file (page size as given).
    std::string search(std::string_view text, int page_size = -100) {
        SearchQueryPtr query = new_search_query(text, page_size, false);
        if (!query) return "<no query>";
        doSearch(query.get());
        return matches(query.get());
    }

    orvel_test::FreshDictionaries dicts;
    orvel_test::TempDir dir;
};

}  // namespace search_test
