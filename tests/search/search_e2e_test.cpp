// End-to-end: the SEARCH action, paging through the stored result across
// requests, the result templates, the search element and the product loops
// that run searches, with build/orvel run as a CGI program.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace orvel_test;

namespace {

const char *const PRODUCTS = "SKUID: T-1\nNAME: Green tea\nGROUP: tea\nPRICE: 4\n"
                             "SKUID: T-2\nNAME: Black tea\nGROUP: tea\nPRICE: 5\nDESCRIPTION: a strong tea\n"
                             "SKUID: C-1\nNAME: Coffee\nGROUP: coffee\nPRICE: 9\n"
                             "SKUID: T-3\nNAME: Tea for two, tea for you\nGROUP: tea\nPRICE: 12\n"
                             "SKUID: T-4\nNAME: Jasmine tea\nGROUP: tea\nPRICE: 7\nDESCRIPTION: tea tea\n"
                             "SKUID: T-5\nNAME: Mint tea\nGROUP: tea\nPRICE: 3\n";

class SearchShop : public Catalog {
public:
    SearchShop() {
        write("products.txt", PRODUCTS);
        write("templates/search/matches.html",
              "MATCHES <ORVEL_LOOP TYPE=MATCHES>%OVI_SKUID:%OVI_SEARCH_SCORE;</ORVEL_LOOP>~\n"
              "RANGE %OVH_SEARCH_PAGE_RANGE_LO-%OVH_SEARCH_PAGE_RANGE_HI of %OVE_SEARCH_HISTORY_TOTAL "
              "MORE %OVH_SEARCH_MORE_PAGES PREV %OVH_SEARCH_PREV_PAGES ITEM %OVE_ITEM "
              "WORDS %OVH_SEARCH_SPEC_WORDS TOTAL %OVH_TOTAL_MATCHES PAGE %OVH_PAGE_MATCHES~\n");
        write("templates/search/failed.html", "NOTHING FOUND for %OVH_SEARCH_SPEC_WORDS~\n");
        write("templates/custom/tea.html", "TEA PAGE <ORVEL_LOOP TYPE=MATCHES>%OVI_SKUID;</ORVEL_LOOP>~\n");
    }
    Response get(const std::string &query, const std::string &cookie = "") const {
        Request r;
        r.query = query;
        if (!cookie.empty()) r.env["HTTP_COOKIE"] = cookie;
        return run_orvel(path(), r);
    }
};

// The stretch of the page from `start` up to the next '~' (the templates
// end each part with one).
std::string line_of(const std::string &body, const std::string &start) {
    const std::size_t at = body.find(start);
    if (at == std::string::npos) return "";
    return body.substr(at, body.find('~', at) - at);
}

}  // namespace

TEST(SearchAction, ANewSearchListsTheFirstPageByRankAndPagesFollow) {
    SearchShop shop;
    shop.configure("DEFAULT_SEARCH_FIELD: NAME;DESCRIPTION\n");
    Response first = shop.get("action=search&search_spec=tea&search_maxhits=2");
    ASSERT_EQ(first.exit_status, 0) << first.raw;
    // T-4 has tea in both fields, T-2 too; ties keep file order.
    EXPECT_EQ(line_of(first.body, "MATCHES"), "MATCHES T-2:2;T-4:2;") << first.body;
    EXPECT_EQ(line_of(first.body, "RANGE"),
              "RANGE 1-2 of 5 MORE 2 more PREV zero ITEM  WORDS TEA  TOTAL 5 PAGE 2");
    const std::string cookie = cookie_of(first);

    Response second = shop.get("action=search_next", cookie);
    ASSERT_EQ(second.exit_status, 0) << second.raw;
    EXPECT_EQ(line_of(second.body, "MATCHES"), "MATCHES T-1:1;T-3:1;") << second.body;
    EXPECT_NE(second.body.find("RANGE 3-4 of 5 MORE 1 more PREV 1"), std::string::npos) << second.body;

    Response third = shop.get("action=search&item=next", cookie);
    EXPECT_EQ(line_of(third.body, "MATCHES"), "MATCHES T-5:1;");
    EXPECT_NE(third.body.find("RANGE 5-5 of 5 MORE no more PREV 2"), std::string::npos) << third.body;
    // NEXT on the last page stays there.
    Response again = shop.get("action=search&item=next", cookie);
    EXPECT_EQ(line_of(again.body, "MATCHES"), "MATCHES T-5:1;");

    // PREV walks back and stops at the first page.
    EXPECT_EQ(line_of(shop.get("action=search_prev", cookie).body, "MATCHES"), "MATCHES T-1:1;T-3:1;");
    EXPECT_EQ(line_of(shop.get("action=search_prev", cookie).body, "MATCHES"), "MATCHES T-2:2;T-4:2;");
    EXPECT_EQ(line_of(shop.get("action=search_prev", cookie).body, "MATCHES"), "MATCHES T-2:2;T-4:2;");
    // AGAIN shows the stored page.
    EXPECT_EQ(line_of(shop.get("action=search_again", cookie).body, "MATCHES"), "MATCHES T-2:2;T-4:2;");
}

TEST(SearchAction, MaxPutsEveryMatchOnOnePageAndKeepsTheItem) {
    SearchShop shop;
    Response r = shop.get("action=search&item=max&search_spec=%2Bgroup%3Dtea&search_maxhits=2");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(line_of(r.body, "MATCHES"), "MATCHES T-1:1;T-2:1;T-3:1;T-4:1;T-5:1;");
    EXPECT_NE(r.body.find("RANGE 1-5 of 5 MORE no more PREV zero ITEM max"), std::string::npos) << r.body;
}

TEST(SearchAction, NoMatchesShowsTheFailedPage) {
    SearchShop shop;
    Response r = shop.get("action=search&search_spec=cocoa");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(line_of(r.body, "NOTHING"), "NOTHING FOUND for COCOA ");
    // Paging after a search that found nothing has no search to page.
    Response next = shop.get("action=search_next", cookie_of(r));
    EXPECT_EQ(next.exit_status, 1);
    EXPECT_NE(next.body.find("No search specification was given."), std::string::npos) << next.body;
}

TEST(SearchAction, AStoredSearchWithoutItsResultHasNoPage) {
    SearchShop shop;
    Response r = shop.get("action=search&search_spec=tea");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    for (const auto &entry : std::filesystem::directory_iterator(shop.path() + "/users"))
        if (entry.path().extension() == ".matches") std::filesystem::remove(entry.path());
    Response next = shop.get("action=search_again", cookie_of(r));
    EXPECT_EQ(next.exit_status, 1);
    EXPECT_NE(next.body.find("This page of matches is empty."), std::string::npos) << next.body;
}

TEST(SearchAction, MissingSpecificationAndProductsFileEndTheRequest) {
    SearchShop shop;
    Response r = shop.get("action=search");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("No search specification was given."), std::string::npos) << r.body;

    std::remove((shop.path() + "/products.txt").c_str());
    r = shop.get("action=search&search_spec=tea");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("Failed to open products file ("), std::string::npos) << r.body;
}

TEST(SearchAction, MatchesSharingATemplateUseIt) {
    SearchShop shop;
    std::string products = PRODUCTS;
    products = std::regex_replace(products, std::regex("GROUP: tea\n"), "GROUP: tea\nMTEMPLATE: tea.html\n");
    shop.write("products.txt", products);
    Response r = shop.get("action=search&search_spec=%3Dtea&search_field=group");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(line_of(r.body, "TEA PAGE"), "TEA PAGE T-1;T-2;T-3;T-4;T-5;") << r.body;
    // Coffee has no MTEMPLATE: the ordinary page.
    r = shop.get("action=search&search_spec=o&search_field=name&search_maxhits=9");
    EXPECT_EQ(line_of(r.body, "MATCHES"), "MATCHES C-1:1;T-3:1;") << r.body;
}

TEST(SearchElement, RunsASearchInsideAPage) {
    SearchShop shop;
    shop.write("docs/find.html",
               "<ORVEL_SEARCH SPEC=\"jasmine mint\" FIELD=NAME MAXHITS=1>"
               "FOUND <ORVEL_LOOP TYPE=MATCHES>%OVI_SKUID;</ORVEL_LOOP> OF %OVE_SEARCH_HISTORY_TOTAL "
               "ALL <ORVEL_LOOP TYPE=MATCHES ALL=1>%OVI_SKUID;</ORVEL_LOOP>~\n");
    Response r = shop.get("action=serve&item=find.html");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(line_of(r.body, "FOUND"), "FOUND T-4; OF 2 ALL T-4;T-5;") << r.body;

    // Its failures stay in the page.
    shop.write("docs/page.html", "<ORVEL_SEARCH ACTION=NEXT>AFTER\n");
    r = shop.get("action=serve&item=page.html");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.body.find("<!-- Missing search spec. -->AFTER"), std::string::npos) << r.body;
}

TEST(SearchLoops, CategoryAndQueryLoopsListWhatTheProductsFileHolds) {
    SearchShop shop;
    shop.write("docs/tea.html",
               "TEAS <ORVEL_LOOP TYPE=PRODUCTS GROUP=tea>%OVI_SKUID=%OVI_PRICE;</ORVEL_LOOP>~\n"
               "CHEAP <ORVEL_LOOP TYPE=QUERY SPEC=\"+group=tea +price<5\">%OVI_NAME;</ORVEL_LOOP>~\n"
               "EVERY <ORVEL_LOOP TYPE=PRODUCTS ALL=1 MAX=3>%OVI_SKUID;</ORVEL_LOOP>~\n");
    Response r = shop.get("action=serve&item=tea.html");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(line_of(r.body, "TEAS"), "TEAS T-1=4.00;T-2=5.00;T-3=12.00;T-4=7.00;T-5=3.00;") << r.body;
    EXPECT_EQ(line_of(r.body, "CHEAP"), "CHEAP Green tea;Mint tea;");
    EXPECT_EQ(line_of(r.body, "EVERY"), "EVERY T-1;T-2;C-1;");
}
