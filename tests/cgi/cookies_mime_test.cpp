// The browser's cookies into DICT_COOKIES, and MIME types by extension from
// the built-in table and the merchant's mime.rules.
#include "cgi/cookies_mime.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include "cgi_test_util.h"

#include <gtest/gtest.h>

using namespace orvel_test;

namespace {

std::string cookie(const char *name) { return std::string(var_string(DICT_COOKIES, name)); }

}  // namespace

TEST(Cookie, NoHeaderMeansNothingFiled) {
    FreshDictionaries dicts;
    CgiEnvironment env;
    EXPECT_EQ(digest_cookies(), 0);
    EXPECT_EQ(var_length(DICT_COOKIES), 0);
}

TEST(Cookie, PairsRepeatsAndBareWords) {
    FreshDictionaries dicts;
    CgiEnvironment env;
    CgiEnvironment::set("HTTP_COOKIE", "orvel=12345678; theme=dark;a=1; A=3; secure; quoted=\"x y\"");
    EXPECT_EQ(digest_cookies(), 1);
    EXPECT_EQ(cookie("ORVEL"), "12345678");
    EXPECT_EQ(cookie("THEME"), "dark");
    EXPECT_EQ(cookie("A"), "1\x1e" "3");
    EXPECT_EQ(cookie("QUOTED"), "x y");
    var *flag = get_var(DICT_COOKIES, "SECURE");
    ASSERT_NE(flag, nullptr);
    EXPECT_EQ(flag->value->type, TYPE_INTEGER);
    EXPECT_EQ(value_as_integer(flag->value, 0), 1);
    EXPECT_FALSE(var_defined(DICT_COOKIES, "orvel"));
}

TEST(Cookie, EmptyHeaderIsStillAHeader) {
    FreshDictionaries dicts;
    CgiEnvironment env;
    CgiEnvironment::set("HTTP_COOKIE", "");
    EXPECT_EQ(digest_cookies(), 1);
    EXPECT_EQ(var_length(DICT_COOKIES), 0);
}

class Mime : public ::testing::Test {
protected:
    void SetUp() override {
        reset_mime_rules_state();
        set_string(DICT_CONFIG, "CAT_DIR", cat.path());
    }
    void TearDown() override { reset_mime_rules_state(); }
    FreshDictionaries dicts;
    TempDir cat;
};

TEST_F(Mime, BuiltInTable) {
    struct Case {
        const char *name, *type;
    } cases[] = {
        {"README", "text/plain"},
        {"file.tar.gz", "application/x-gzip"},
        {"photo.jpeg", "image/jpeg"},
        {"photo.JPE", "image/jpeg"},
        {"photo.jpg", "image/jpeg"},
        {"page.htm", "text/html"},
        {"page.html", "text/html"},
        {"page.HTMLX", "text/html"},
        {"list.csv", "text/plain"},
        {"list.tab", "text/plain"},
        {"notes.txt", "text/plain"},
        {"logo.gif", "image/gif"},
        {"setup.exe", "application/octet-stream"},
        {"pack.zip", "application/zip"},
        {"pack.tar", "application/x-tar"},
        {"mac.hqx", "application/mac-binhex40"},
        {"beep.au", "audio/basic"},
        {"beep.snd", "audio/basic"},
        {"beep.wav", "audio/x-wav"},
        {"film.avi", "audio/x-msvideo"},
        {"film.mpeg", "video/mpeg"},
        {"film.mpeg2", "video/mpeg"},
        {"film.mpg", "video/mpeg"},
        {"film.mpga", "application/octet-stream"},
        {"film.mov", "video/quicktime"},
        {"film.qt", "video/quicktime"},
        {"data.xyz", "application/octet-stream"},
        {"trailing.", "application/octet-stream"},
        {"archive.gzip", "application/octet-stream"},
    };
    for (const Case &c : cases) EXPECT_EQ(get_mime_type(c.name), c.type) << c.name;
}

TEST_F(Mime, MerchantRulesComeFirstAndAreReadOnce) {
    cat.write("rules/mime.rules",
              "# extension: type\n"
              "gz: application/gzip   # preferred\n"
              " svg : image/svg+xml\n"
              "\n"
              "no separator here\n");
    EXPECT_EQ(get_mime_type("a.tar.gz"), "application/gzip");
    EXPECT_EQ(get_mime_type("pic.SVG"), "image/svg+xml");
    EXPECT_EQ(get_mime_type("pic.gif"), "image/gif");
    EXPECT_EQ(var_string(DICT_MIMETYPES, "SVG"), "image/svg+xml");

    cat.write("rules/mime.rules", "gz: changed/type\n");
    EXPECT_EQ(get_mime_type("a.gz"), "application/gzip");  // read once per process
}

TEST_F(Mime, MissingRulesFileLeavesTheTableEmpty) {
    get_mime_rules();
    EXPECT_EQ(var_length(DICT_MIMETYPES), 0);
    EXPECT_EQ(get_mime_type("a.gz"), "application/x-gzip");
}

TEST_F(Mime, ThemedRulesAreUsed) {
    set_string(DICT_CONFIG, "DEFAULT_THEME", "blue");
    cat.write("themes/blue/rules/mime.rules", "pdf: application/pdf\n");
    EXPECT_EQ(get_mime_type("doc.pdf"), "application/pdf");
}
