// End-to-end query input: the program run as a CGI process with GET and
// POST requests whose fields a served page prints back.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

using namespace orvel_test;

namespace {

// A catalog with a page that shows the shopper fields and an argument.
struct ShowCatalog : Catalog {
    ShowCatalog() {
        write("docs/show.html",
              "ACTION=[%OVE_ACTION] COLOR=[%OVE_COLOR] SIZE=[%OVE_SIZE] NOTE=[%OVA_NOTE] LAST=[%OVE_LAST]\n");
        write("orvel.err", "");  // switch the error log on
    }
};

Response get(const Catalog &cat, const std::string &query) {
    Request r;
    r.query = query;
    return run_orvel(cat.path(), r);
}

Response post(const Catalog &cat, const std::string &body, const std::string &query_string = "") {
    Request r;
    r.method = "POST";
    r.query = body;
    if (!query_string.empty()) r.env["QUERY_STRING"] = query_string;
    return run_orvel(cat.path(), r);
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(QueryEndToEnd, GetSetsShopperFieldsAndArguments) {
    ShowCatalog cat;
    Response r = get(cat, "action=serve&item=show.html&color=dark+red&Size=XL&arg_note=hi%21");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(r.body, "ACTION=[SERVE] COLOR=[dark red] SIZE=[XL] NOTE=[hi!] LAST=[]\n");
}

TEST(QueryEndToEnd, LargePostBodyIsReadWhole) {
    ShowCatalog cat;
    std::string body = "action=serve&item=show.html&color=blue&pad=" + std::string(150000, 'x') + "&last=end";
    Response r = post(cat, body);
    ASSERT_EQ(r.exit_status, 0) << r.raw.substr(0, 400);
    EXPECT_TRUE(contains(r.body, "COLOR=[blue]")) << r.body.substr(0, 400);
    EXPECT_TRUE(contains(r.body, "LAST=[end]")) << r.body.substr(0, 400);
    EXPECT_EQ(cat.read("orvel.err"), "");
}

TEST(QueryEndToEnd, PostWithQueryStringTakesUrlFieldsFirst) {
    ShowCatalog cat;
    Response r = post(cat, "action=message&color=body&size=S",
                      "action=serve&item=show.html&color=url");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    // The first action (from the URL) wins; the body's later COLOR replaces the URL's.
    EXPECT_EQ(r.body, "ACTION=[SERVE] COLOR=[body] SIZE=[S] NOTE=[] LAST=[]\n");
}

TEST(QueryEndToEnd, IncompletePostFallsBackToQueryString) {
    ShowCatalog cat;
    Request req;
    req.method = "POST";
    req.query = "color=lost&last=lost";
    req.env["CONTENT_LENGTH"] = "500";
    req.env["QUERY_STRING"] = "action=serve&item=show.html&color=url";
    Response r = run_orvel(cat.path(), req);
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(r.body, "ACTION=[SERVE] COLOR=[url] SIZE=[] NOTE=[] LAST=[]\n");
    EXPECT_TRUE(contains(cat.read("orvel.err"), ": POST request incomplete (20/500 bytes)\n"))
        << cat.read("orvel.err");
}

TEST(QueryEndToEnd, MalformedQueryGivesMessageWithStatusOne) {
    ShowCatalog cat;
    Response r = get(cat, "action=serve&item=show.html&<script>alert(1)</script>");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(contains(r.body, "Orvel received a malformed query request (<B><TT>\""
                                 "&lt;script&gt;alert(1)&lt;/script&gt;\"</TT></B>) from your browser.  "
                                 "Please try again."))
        << r.raw;
    EXPECT_FALSE(contains(r.body, "<script>"));
    EXPECT_FALSE(contains(r.body, "ACTION=["));
}

TEST(QueryEndToEnd, InvalidEscapeEndsTheRequest) {
    ShowCatalog cat;
    for (std::string query : {"action=serve&item=show.html&color=%zz", "action=serve&item=show.html&color=%4"}) {
        Response r = get(cat, query);
        EXPECT_EQ(r.exit_status, 1) << query;
        EXPECT_TRUE(contains(r.body, "Invalid escape sequence in CGI query.")) << r.raw;
        EXPECT_FALSE(contains(r.body, "ACTION=["));
    }
}

TEST(QueryEndToEnd, ForbiddenFieldsNeverReachThePage) {
    ShowCatalog cat;
    cat.configure("FORBIDDEN_QUERY_FIELDS: color;SIZE\n");
    Response r = get(cat, "action=serve&item=show.html&color=red&size=L&last=ok");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(r.body, "ACTION=[SERVE] COLOR=[] SIZE=[] NOTE=[] LAST=[ok]\n");
}

TEST(QueryEndToEnd, ForgedLineBreakNamesAreDropped) {
    ShowCatalog cat;
    Response r = get(cat, "action=serve&item=show.html&x%0ACOLOR=forged&last=ok");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(r.body, "ACTION=[SERVE] COLOR=[] SIZE=[] NOTE=[] LAST=[ok]\n");
}
