// End-to-end: searching the demo store through lighttpd, from the search
// box in the page header to the ranked results, their pages, the
// no-matches page and the shopper's history file; category pages that
// follow the products file.
#include "demo_server.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <thread>
#include <vector>

using namespace orvel_test;
using namespace demo_test;
namespace fs = std::filesystem;

namespace {

// The address the search box sends its form to, and the form's own
// fields, from a page's header.
struct SearchBox {
    std::string action;
    std::string hidden;  // "action=search"
};

SearchBox search_box(const std::string &page) {
    SearchBox box;
    std::smatch m;
    const std::string form = page.substr(page.find("<form class=\"search\""));
    if (std::regex_search(form, m, std::regex("action=\"([^\"]+)\" method=\"get\""))) box.action = m[1];
    if (std::regex_search(form, m, std::regex("type=\"hidden\" name=\"(\\w+)\" value=\"(\\w+)\"")))
        box.hidden = std::string(m[1]) + "=" + std::string(m[2]);
    return box;
}

// Submits the search box with `words` as a browser does (GET, the fields
// after a "?").
HttpResponse search_from(HttpClient &browser, const SearchBox &box, const std::string &words) {
    return browser.get(box.action + "?" + box.hidden + "&search_spec=" + words);
}

// The product names of a listing, in page order.
std::vector<std::string> listed(const std::string &page) {
    std::vector<std::string> names;
    static const std::regex card("<h3><a href=\"[^\"]*\">([^<]*)</a></h3>");
    for (std::sregex_iterator it(page.begin(), page.end(), card), end; it != end; ++it) names.push_back((*it)[1]);
    return names;
}

// The address of a pager link ("next" or "prev"), or "".
std::string pager_link(const std::string &page, const std::string &rel) {
    std::smatch m;
    if (!std::regex_search(page, m, std::regex("rel=\"" + rel + "\" href=\"([^\"]+)\""))) return "";
    std::string url = m[1];
    for (std::size_t at; (at = url.find("&amp;")) != std::string::npos;) url.replace(at, 5, "&");
    return url;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(DemoSearch, TheSearchBoxListsRankedProductsAndPagesFollow) {
    DemoServer server;
    HttpClient browser(server.port());
    const HttpResponse start = browser.get("/");
    const SearchBox box = search_box(start.body);
    ASSERT_FALSE(box.action.empty()) << start.body;
    EXPECT_EQ(box.hidden, "action=search");
    // Every page has the box: a category page, the cart.
    EXPECT_FALSE(search_box(browser.get("/store/kitchen.html").body).action.empty());
    EXPECT_FALSE(search_box(browser.get("/cgi-bin/orvel?action=view").body).action.empty());

    // "tea" begins a word of nine products' names or descriptions; a word
    // in the name counts three times, so those come first, and equal
    // ranks keep the order of products.txt.
    const HttpResponse first = search_from(browser, box, "tea");
    expect_clean_page(first, "results page 1");
    EXPECT_TRUE(contains(first.body, "<title>Search results &ndash; Leaf &amp; Bean</title>")) << first.body;
    EXPECT_EQ(listed(first.body), (Names{"Assam Breakfast Tea", "Sencha Green Tea", "The Tea Companion",
                                         "Cast Iron Teapot", "Making Tea Ware", "Darjeeling First Flush"}))
        << first.body;
    EXPECT_TRUE(contains(first.body, "Products 1&ndash;6 of 9 matching")) << first.body;
    EXPECT_TRUE(contains(first.body, "Page 1 of 2")) << first.body;
    EXPECT_EQ(pager_link(first.body, "prev"), "");
    const std::string next = pager_link(first.body, "next");
    ASSERT_FALSE(next.empty()) << first.body;

    const HttpResponse second = browser.get(next);
    expect_clean_page(second, "results page 2");
    EXPECT_EQ(listed(second.body), (Names{"Earl Grey", "Moroccan Mint", "A History of the Leaf"})) << second.body;
    EXPECT_TRUE(contains(second.body, "Products 7&ndash;9 of 9 matching")) << second.body;
    EXPECT_TRUE(contains(second.body, "Page 2 of 2"));
    EXPECT_EQ(pager_link(second.body, "next"), "");
    const std::string prev = pager_link(second.body, "prev");
    ASSERT_FALSE(prev.empty()) << second.body;
    EXPECT_EQ(listed(browser.get(prev).body), listed(first.body));

    // Every word must be found: both words, in the name or the description.
    const HttpResponse both = search_from(browser, box, "green+tea");
    EXPECT_EQ(listed(both.body), (Names{"Sencha Green Tea", "Moroccan Mint"})) << both.body;
}

TEST(DemoSearch, NothingFoundShowsTheNoMatchesPageWithTheWordsEscaped) {
    DemoServer server;
    HttpClient browser(server.port());
    const SearchBox box = search_box(browser.get("/").body);
    const HttpResponse none = search_from(browser, box, "zanzibar");
    expect_clean_page(none, "no matches");
    EXPECT_TRUE(contains(none.body, "<title>No matches &ndash; Leaf &amp; Bean</title>")) << none.body;
    EXPECT_TRUE(contains(none.body, "ZANZIBAR")) << none.body;
    EXPECT_TRUE(listed(none.body).empty());
    EXPECT_TRUE(contains(none.body, "item=coffee.html\">Coffee</a>")) << none.body;

    // An empty box asks for words.
    const HttpResponse empty = search_from(browser, box, "");
    EXPECT_TRUE(contains(empty.body, "No search specification was given.")) << empty.body;
    EXPECT_FALSE(contains(empty.body, "%OV")) << empty.body;

    // Word searches keep punctuation; the page shows it as text.  ("<" and
    // ">" never reach it: they are comparison characters and split words.)
    const HttpResponse hostile = search_from(browser, box, "fish%26chips+%3Cb%3E");
    expect_clean_page(hostile, "no matches for punctuation");
    EXPECT_TRUE(contains(hostile.body, "FISH&amp;CHIPS")) << hostile.body;
    EXPECT_FALSE(contains(hostile.body, "FISH&CHIPS")) << hostile.body;
    EXPECT_FALSE(contains(hostile.body, "<b>")) << hostile.body;
}

TEST(DemoSearch, CategoryPagesListWhatTheProductsFileHolds) {
    DemoServer server;
    HttpClient browser(server.port());
    const Names teas = listed(browser.get("/store/tea.html").body);
    EXPECT_EQ(teas, (Names{"Assam Breakfast Tea", "Darjeeling First Flush", "Sencha Green Tea", "Earl Grey",
                           "Moroccan Mint", "Rooibos Vanilla", "Tieguanyin Oolong", "Masala Chai"}));

    // A product added to products.txt appears on its category's page and in
    // searches, with nothing else edited.
    std::ofstream(server.store() + "/catalog/products.txt", std::ios::app)
        << "\nSKUID: T_GENMAI\nNAME: Genmaicha\nPRICE: 7.40\nGROUP: tea\nWEIGHT: 0.5\nIMAGE: images/t_sencha.svg\n"
           "DESCRIPTION: Green tea with toasted rice. 100 g.\n";
    const HttpResponse tea = browser.get("/store/tea.html");
    expect_clean_page(tea, "tea page");
    EXPECT_EQ(listed(tea.body).back(), "Genmaicha") << tea.body;
    EXPECT_EQ(listed(tea.body).size(), teas.size() + 1);
    EXPECT_FALSE(contains(browser.get("/store/coffee.html").body, "Genmaicha"));
    const HttpResponse found = search_from(browser, search_box(tea.body), "rice");
    EXPECT_EQ(listed(found.body), (Names{"Genmaicha"})) << found.body;
}

TEST(DemoSearch, ConcurrentSearchesLeaveAHistoryFileThatReadsBackWhole) {
    DemoServer server;
    HttpClient browser(server.port());
    const HttpResponse start = browser.get("/");
    const SearchBox box = search_box(start.body);
    ASSERT_FALSE(browser.cookies().empty());

    // Twenty searches of one shopper at once, finding results of different
    // sizes (and so different record lengths).
    const std::vector<std::string> words = {"tea", "coffee", "g", "bean", "brew", "a", "cups", "kettle", "the", "b"};
    std::vector<HttpResponse> answers(20);
    std::vector<std::thread> threads;
    for (int i = 0; i < 20; ++i) {
        threads.emplace_back([&, i] {
            HttpClient tab(server.port());
            for (const auto &[name, value] : browser.cookies()) tab.set_cookie(name, value);
            answers[static_cast<std::size_t>(i)] = search_from(tab, box, words[static_cast<std::size_t>(i) % words.size()]);
        });
    }
    for (std::thread &t : threads) t.join();
    std::set<int> totals;
    for (const HttpResponse &a : answers) {
        expect_clean_page(a, "concurrent search");
        std::smatch m;
        if (std::regex_search(a.body, m, std::regex("of (\\d+) matching"))) totals.insert(std::stoi(m[1]));
    }
    ASSERT_GT(totals.size(), 1u) << "the searches found results of one size only";

    // The shopper's one history file: a whole result of one of the searches.
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(server.store() + "/catalog/users"))
        if (entry.path().extension() == ".matches") files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    std::ifstream in(files[0], std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GE(data.size(), 8u);
    std::int32_t n = 0, length = 0;
    std::memcpy(&n, data.data(), 4);
    std::memcpy(&length, data.data() + 4, 4);
    ASSERT_GT(length, 3);
    ASSERT_LE(length, 128);
    EXPECT_EQ(data.size(), 8u + static_cast<std::size_t>(n) * static_cast<std::size_t>(length));
    EXPECT_TRUE(totals.count(n)) << n;
    const std::string products = [&] {
        std::ifstream p(server.store() + "/catalog/products.txt");
        return std::string((std::istreambuf_iterator<char>(p)), std::istreambuf_iterator<char>());
    }();
    std::size_t longest = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const char *record = data.data() + 8 + static_cast<std::size_t>(i) * static_cast<std::size_t>(length);
        const std::string id(record, strnlen(record, static_cast<std::size_t>(length - 1)));
        longest = std::max(longest, id.size());
        EXPECT_TRUE(contains(products, "SKUID: " + id + "\n")) << id;
    }
    EXPECT_EQ(static_cast<std::size_t>(length), longest + 3);

    // And the store pages through it.
    const HttpResponse again = browser.get("/cgi-bin/orvel?action=search_again");
    expect_clean_page(again, "stored result");
    EXPECT_TRUE(contains(again.body, " of " + std::to_string(n) + " matching")) << again.body;
}
