// End-to-end: pages rendered under the documents directory and the exact
// header block of each kind of answer.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>

using namespace orvel_test;

namespace {

Response get(const Catalog &cat, const std::string &query) {
    Request r;
    r.query = query;
    return run_orvel(cat.path(), r);
}

std::vector<std::string> header_names(const Response &r) {
    std::vector<std::string> names;
    for (auto &h : r.headers) names.push_back(h.first);
    return names;
}

}  // namespace

TEST(ResponsePages, DocumentRendersTokensAndElements) {
    Catalog cat;
    cat.write("docs/page.html", "M=%OVM_STORE_NAME E=%OVE_COLOR H=%OVH_ORVEL_VERSION\n"
                                "<ORVEL_COMMENT>as written %OVM_STORE_NAME</ORVEL_COMMENT>\n"
                                "<ORVEL_VSET NAME=SIZE VALUE=%OVE_COLOR-xl>V=%OVV_SIZE\n");
    Response r = get(cat, "action=serve&item=page.html&color=red");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    // A tag that ends its line takes the line break with it.
    EXPECT_EQ(r.body, "M=Corner Shop E=red H=4.042\nas written %OVM_STORE_NAMEV=red-xl\n");
}

TEST(ResponsePages, SquareBracketTagCharacters) {
    Catalog cat;
    cat.configure("OVML_TAG_CHARS: []\n");
    cat.write("docs/page.html", "a[ORVEL_COMMENT DELETE]gone[/ORVEL_COMMENT]b <ORVEL_COMMENT DELETE>kept</ORVEL_COMMENT>\n");
    Response r = get(cat, "action=serve&item=page.html");
    EXPECT_EQ(r.body, "ab <ORVEL_COMMENT DELETE>kept</ORVEL_COMMENT>\n") << r.raw;
}

TEST(ResponseHeaders, BlockOrderForEachExpiry) {
    Catalog cat;
    cat.write("rules/header.rules", "# merchant headers\nx-shop: %OVM_STORE_NAME\n");
    cat.configure("HTTP_LASTMOD: 1\n");
    Response r = get(cat, "");
    EXPECT_EQ(header_names(r), (std::vector<std::string>{"Status", "Set-Cookie", "Last-Modified", "Pragma",
                                                          "Cache-Control", "Expires", "X-SHOP", "Content-type"}))
        << r.raw;
    EXPECT_EQ(r.status, "200 200");
    EXPECT_EQ(r.header("X-SHOP"), "Corner Shop");

    Catalog later;
    later.configure("HTTP_EXPIRES: 3600\n");
    Response l = get(later, "");
    EXPECT_EQ(header_names(l), (std::vector<std::string>{"Status", "Set-Cookie", "Expires", "Content-type"}));
    std::tm tm{};
    ASSERT_NE(strptime(l.header("Expires").c_str(), "%a, %d %b %Y %H:%M:%S GMT", &tm), nullptr) << l.raw;
    long ahead = static_cast<long>(timegm(&tm)) - static_cast<long>(std::time(nullptr));
    EXPECT_GT(ahead, 3500);
    EXPECT_LE(ahead, 3600);

    Catalog never;
    never.configure("HTTP_EXPIRES: -1\nHTTP_STATUS: 404\n");
    EXPECT_EQ(header_names(get(never, "")), (std::vector<std::string>{"Set-Cookie", "Content-type"}));
}

TEST(ResponseHeaders, RedirectCarriesOnlyStatusAndLocation) {
    Catalog cat;
    cat.configure("REDIRECT_HASHES: 1\n");
    Response r = get(cat, "action=serve&item=index.html%23top");
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(header_names(r), (std::vector<std::string>{"Status", "Location"})) << r.raw;
    EXPECT_EQ(r.status, "301 301");
    EXPECT_TRUE(std::regex_match(r.header("Location"),
                                 std::regex(R"(http://shop\.test/cgi-bin/orvel/ovpi/u/OvSt01\w+\.[0-9a-f]{64}/orvel\?action=serve&item=index\.html#top)")))
        << r.header("Location");
    EXPECT_EQ(r.body, "");
    // Another redirect status is sent as configured; the answer is classed
    // by searching its status text for 301, so it carries the usual lines.
    cat.configure("REDIRECT_STATUS: 302\n");
    Response other = get(cat, "action=serve&item=index.html%23top");
    EXPECT_EQ(other.status, "302 302");
    EXPECT_NE(other.header("Location").find("item=index.html#top"), std::string::npos);
}

TEST(ResponseHeaders, NoContentAnswerStillSavesTheCart) {
    Catalog cat;
    cat.configure("QUIET_ADD: 1\n");
    Response r = get(cat, "action=add&item=w1");
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.raw, "Status: 204 204\n\n");
    std::smatch m;
    std::string id;
    for (auto &e : std::filesystem::directory_iterator(cat.path() + "/users")) {
        std::string n = e.path().filename().string();
        if (std::regex_match(n, m, std::regex(R"(user(\d{8})\.txt)"))) id = m[1];
    }
    EXPECT_NE(cat.read("users/user" + id + ".txt").find("W1:1\n"), std::string::npos);
}

TEST(ResponseTemplates, ThemeFallsBackToTheDefaultTemplates) {
    Catalog cat;
    cat.write("themes/blue/templates/error.html", "BLUE %OVH_MESSAGE\n");
    EXPECT_EQ(get(cat, "action=error&item=x&theme=blue").body, "BLUE x\n");
    EXPECT_EQ(get(cat, "action=error&item=x&theme=green").body, "<title>Error</title><p>ERROR: x</p>\n");
    EXPECT_EQ(get(cat, "action=error&item=x&theme=../themes/blue").body, "<title>Error</title><p>ERROR: x</p>\n");
    // A store with a default theme keeps its rules in that theme too.
    cat.write("themes/blue/rules/field.rules", "");
    cat.configure("DEFAULT_THEME: blue\n");
    EXPECT_EQ(get(cat, "action=error&item=y&theme=green").body, "BLUE y\n");
}

TEST(ResponseTemplates, PassedTemplateIsUsedOnce) {
    Catalog cat;
    cat.write("products.txt", "SKUID: W1\nNAME: Widget\nPRICE: 2.50\n");
    cat.write("templates/view.html", "ORDINARY VIEW\n");
    cat.write("templates/custom/special.html", "SPECIAL [<ORVEL_SLURP SRC=\"view\" TEMPLATE>]\n");
    Response r = get(cat, "product_w1=1&action=view&template=special.html");
    EXPECT_EQ(r.body, "SPECIAL [ORDINARY VIEW\n]\n") << r.raw;
    // Names that could leave the custom directory are ignored.
    EXPECT_EQ(get(cat, "product_w1=1&action=view&template=../view.html").body, "ORDINARY VIEW\n");
}
