// The SEARCH action and the ORVEL_SEARCH element.  Both run the same
// search: a new search scans the products file once, ranks the matches,
// stores them in the shopper's history file and shows the first page;
// paging (next, previous, again) reads its page from the history file.
// The action prints the results page; the element only sets the variables
// for the rest of its template.
#include "search/results.h"

#include "catalog/products.h"
#include "config/config.h"
#include "config/paths.h"
#include "core/actions.h"
#include "ovml/elements_std.h"
#include "ovml/registry.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "search/scan.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// How a search was asked for.
struct SearchInputs {
    std::string mode_text;
    std::string fields, logic, comparison;
    int max_hits = 0;  // matches per page; 0: the store's default
    int page = -1;     // the stored page (from 1) when paging; -1: none
};

enum class SearchEnd { Done, NoProductsFile, NoSpec, EmptyPage };

struct SearchRun {
    SearchEnd end = SearchEnd::Done;
    int mode = SEARCH_MODE_NEW;
    std::string path;  // the products file, when it could not be opened
    SearchQueryPtr query;
};

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

// Matches per page: the asked number, else DEFAULT_SEARCH_MAXHITS, else 5;
// at least 1.
int page_size_of(int asked, int mode) {
    if (mode == SEARCH_MODE_MAX) return 999999999;
    int size = asked != 0 ? asked : config_integer("DEFAULT_SEARCH_MAXHITS", 0);
    if (size == 0) size = 5;
    return size <= 0 ? 1 : size;
}

// A fresh DICT_MATCHES for the page about to be filled.
void empty_matches() {
    nuke_var(DICT_MATCHES);
    DICT_MATCHES = new_dict("[MATCHES]");
}

SearchRun run_search(const SearchInputs &in) {
    SearchRun run;
    set_integer(DICT_ORVEL, "TOTAL_MATCHES", 0);
    set_integer(DICT_ORVEL, "PAGE_MATCHES", 0);
    run.mode = determine_search_mode(in.mode_text);
    const std::string fields = default_search_fields(in.fields);
    const char logic = default_search_logic(in.logic);
    const char comparison = default_search_comp(in.comparison);
    const int page_size = page_size_of(in.max_hits, run.mode);
    if (run.mode == SEARCH_MODE_MAX) run.mode = SEARCH_MODE_NEW;

    std::string text;
    int page = 0;
    if (run.mode == SEARCH_MODE_NEW) {
        reset_search_tokens();
        text = get_spec_string(fields, logic, comparison);
        run.path = get_products_file_pathname_readonly();
        std::unique_ptr<FILE, FileCloser> file(std::fopen(run.path.c_str(), "r"));
        if (!file) {
            run.end = SearchEnd::NoProductsFile;
            return run;
        }
        run.query = new_search_query(text, -page_size, true);
        if (!run.query) {
            run.end = SearchEnd::NoSpec;
            return run;
        }
        doSearch_fp(file.get(), run.query.get());
        // A plug-in that answered the search gave its matches in the lists.
        run.query->total = run.query->ids->count;
        search_post_process_matching_skuids(run.query.get(), false);
        empty_matches();
        populate_matches_dictionary(run.query->ids, run.query->ranks, 0, page_size - 1);
    } else {
        const int pages = var_integer(DICT_SHOPPER, "SEARCH_HISTORY_TOTAL_PAGES", -1);
        text = var_string(DICT_SHOPPER, "SEARCH_HISTORY_SPEC");
        // The stored page counts from 1, the index from 0.
        page = in.page - (run.mode == SEARCH_MODE_AGAIN ? 1 : run.mode == SEARCH_MODE_PREVIOUS ? 2 : 0);
        if (page < 0) page = 0;
        else if (page > pages - 1) page = pages - 1;
        if (page < 0) page = 0;
        run.query = new_search_query(text, page_size, true);
        if (!run.query) {
            run.end = SearchEnd::NoSpec;
            return run;
        }
        empty_matches();
        const std::int64_t skip = static_cast<std::int64_t>(page_size) * page;
        if (skip > INT_MAX || load_historical_query(run.query.get(), static_cast<int>(skip)) == 0) {
            run.end = SearchEnd::EmptyPage;
            return run;
        }
    }

    if (var_string(DICT_SHOPPER, "SEARCH_SPEC").empty()) set_string(DICT_SHOPPER, "SEARCH_SPEC", text);
    set_string(DICT_ORVEL, "SEARCH_SPEC", canonical_search_spec_string(run.query.get()));
    set_string(DICT_ORVEL, "SEARCH_SPEC_WORDS", canonical_search_spec_words_string(run.query.get()));
    save_search_results(run.query.get(), page_size, text, run.mode, page);
    set_integer(DICT_ORVEL, "TOTAL_MATCHES", run.query->total);
    set_integer(DICT_ORVEL, "PAGE_MATCHES", var_length(DICT_MATCHES));
    return run;
}

}  // namespace

void actionSEARCH() {
    SearchInputs in;
    in.mode_text = var_string(DICT_SHOPPER, "ITEM");
    const int mode = determine_search_mode(in.mode_text);
    if (mode != SEARCH_MODE_NEW && mode != SEARCH_MODE_MAX) set_string(DICT_SHOPPER, "ITEM", "");
    in.fields = var_string(DICT_SHOPPER, "SEARCH_FIELD");
    in.logic = var_string(DICT_SHOPPER, "SEARCH_LOGIC");
    in.comparison = var_string(DICT_SHOPPER, "SEARCH_COMP");
    in.max_hits = var_integer(DICT_SHOPPER, "SEARCH_MAXHITS", 0);
    in.page = var_integer(DICT_SHOPPER, "SEARCH_HISTORY_PAGE", -1);

    const SearchRun run = run_search(in);
    switch (run.end) {
    case SearchEnd::NoProductsFile:
        cgidie("Failed to open products file (%s) for searching.", quote_html_specials(run.path).c_str());
    case SearchEnd::NoSpec:
        croak_custom_message("SEARCH_SPEC_MISSING", "error",
                             "No search specification was given.  Please go back and try again.", true);
    case SearchEnd::EmptyPage: cgidie("This page of matches is empty.");
    case SearchEnd::Done: break;
    }

    std::string page = "search/failed.html";
    if (run.query->total > 0) {
        fill_products(DICT_MATCHES);
        const std::string common = find_common_matches_template();
        page = common.empty() ? std::string("search/matches.html") : "custom/" + common;
    }
    print_OVML_File(get_template_pathname(page));
}

std::string do_OVML_Search(TagDef &def) {
    const OVMLAttributes attrs(def);
    SearchInputs in;
    in.mode_text = attrs.get("ACTION");
    in.fields = attrs.get("FIELD");
    in.logic = attrs.get("LOGIC");
    in.comparison = attrs.get("COMP");
    in.max_hits = attrs.integer("MAXHITS", 0);
    in.page = attrs.integer("PAGE", -1);
    const int mode = determine_search_mode(in.mode_text);
    if ((mode == SEARCH_MODE_NEW || mode == SEARCH_MODE_MAX) && attrs.has("SPEC"))
        set_string(DICT_SHOPPER, "SEARCH_SPEC", attrs.get("SPEC"));

    const SearchRun run = run_search(in);
    switch (run.end) {
    case SearchEnd::NoProductsFile:
        return Orvel_OVML_output_error("Failed to open products file (%s) for searching.", run.path.c_str());
    case SearchEnd::NoSpec:
        if (run.mode != SEARCH_MODE_NEW) return Orvel_OVML_output_error("Missing search spec.");
        ovdebug("query is null");
        return {};
    case SearchEnd::EmptyPage: return Orvel_OVML_output_error("This page of matches is empty.");
    case SearchEnd::Done: break;
    }
    ovdebug("loaded %d matches from query", run.query->total);
    return {};
}

void register_search_OVML_functions() {
    static bool done = false;
    if (done) return;
    done = true;
    register_OVML_function("ORVEL_SEARCH", do_OVML_Search);
}
