// A plug-in answering product searches in the running program: the SEARCH
// action ranks and pages what the plug-in found, template loops list it,
// and the plug-in can render the query as a database condition.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

class SearchPluginShop : public Catalog {
public:
    SearchPluginShop() {
        write("products.txt", "SKUID: A-1\nNAME: Apple tea\nSKUID: B-2\nNAME: Berry tea\nSKUID: C-3\nNAME: Cocoa\n");
        write("templates/search/matches.html",
              "FOUND <ORVEL_LOOP TYPE=MATCHES>%OVI_SKUID=%OVI_NAME:%OVI_SEARCH_SCORE;</ORVEL_LOOP>~ "
              "OF %OVE_SEARCH_HISTORY_TOTAL\n");
        write("templates/search/failed.html", "NOTHING\n");
        fs::create_directories(path() + "/plugins");
        fs::copy_file(std::string(TEST_PLUGIN_DIR) + "/search_answer.so", path() + "/plugins/search_answer.so");
    }
};

}  // namespace

TEST(PluginSearch, ThePluginsMatchesAreRankedAndPaged) {
    SearchPluginShop shop;
    // The plug-in finds what the products file would not (Cocoa has no tea).
    const std::map<std::string, std::string> env = {{"SEARCH_ANSWER", "B-2:3;C-3:9;A-1:3"},
                                                    {"SEARCH_ANSWER_WHERE", shop.path() + "/where.txt"}};
    const Response r = get_page(shop.path(), "action=search&search_spec=tea+%2Bgroup%3Dx&search_maxhits=2", "", env);
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.body.find("FOUND C-3=Cocoa:9;B-2=Berry tea:3;~ OF 3"), std::string::npos) << r.body;
    EXPECT_EQ(shop.read("where.txt"), "(NAME LIKE '%TEA%') AND (GROUP = 'X')");

    // The second page comes from the stored result, without the plug-in.
    const Response next = get_page(shop.path(), "action=search_next", cookie_of(r));
    ASSERT_EQ(next.exit_status, 0) << next.raw;
    EXPECT_NE(next.body.find("FOUND A-1=Apple tea:3;~ OF 3"), std::string::npos) << next.body;
}

TEST(PluginSearch, LoopsListThePluginsMatchesAndAPluginMayPass) {
    SearchPluginShop shop;
    shop.write("docs/list.html", "LIST <ORVEL_LOOP TYPE=QUERY SPEC=\"+NAME:TEA\">%OVI_SKUID;</ORVEL_LOOP>~\n");
    Response r = get_page(shop.path(), "action=serve&item=list.html", "", {{"SEARCH_ANSWER", "C-3:1"}});
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.body.find("LIST C-3;~"), std::string::npos) << r.body;
    // Without an answer the plug-in lets the program scan the file.
    r = get_page(shop.path(), "action=serve&item=list.html");
    EXPECT_NE(r.body.find("LIST A-1;B-2;~"), std::string::npos) << r.body;
}
