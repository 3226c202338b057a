#include "config/config.h"
#include "config/paths.h"
#include "core/lifecycle.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

using namespace orvel_test;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    FreshDictionaries dicts;
    TempDir dir;

    void load(const std::string &contents) {
        dir.write("orvel.config", contents);
        WorkingDirectory cwd(dir.path());
        ASSERT_FALSE(fill_config().has_value());
    }
    std::string text(const char *key) { return std::string(config_string(key)); }
};

}  // namespace

TEST_F(ConfigFile, LinesSplitAtTheFirstColonWithCommentsAndEscapes) {
    load("store_name:  Corner Shop   # our name\n"
         "  spaced  :  value  \n"
         "HTTP_CGI_BIN: http://shop.test:8080/cgi-bin # the program\n"
         "COLOR: \\#ff0000\n"
         "EQUALS=not a separator\n"
         "# a comment line\n"
         "\n"
         "NOTE: a:b\n");
    EXPECT_EQ(text("STORE_NAME"), "Corner Shop");
    EXPECT_EQ(text("SPACED"), "value");
    EXPECT_EQ(text("HTTP_CGI_BIN"), "http://shop.test:8080/cgi-bin");
    EXPECT_EQ(text("COLOR"), "#ff0000");
    EXPECT_EQ(text("NOTE"), "a:b");
    EXPECT_FALSE(config_defined("EQUALS=NOT A SEPARATOR"));
    EXPECT_FALSE(config_defined("EQUALS"));
}

TEST_F(ConfigFile, RepeatedNameKeepsFirstPositionAndEndMarkerComesLast) {
    load("A: 1\nB: 2\nA: 3\n");
    EXPECT_EQ(text("A"), "3");
    var *first = DICT_CONFIG->next;
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->name, "A");
    EXPECT_STREQ(first->next->name, "B");
    EXPECT_STREQ(first->next->next->name, "_END_");
    EXPECT_EQ(first->next->next->value->type, TYPE_NONE);
}

TEST_F(ConfigFile, CarriageReturnLineEnds) {
    load("A: 1\rB: 2\r\nC: 3");
    EXPECT_EQ(text("A"), "1");
    EXPECT_EQ(text("B"), "2");
    EXPECT_EQ(text("C"), "3");
}

TEST_F(ConfigFile, ValidationNormalises) {
    Catalog cat;
    load(cat.base_config() +
         "OVML_TAG_CHARS: []\nOPTION_CODE_DELIMITER: +\nCAT_DIR: C:\\shop\\cat\n"
         "STORE_EMAIL: a@shop.test  b@shop.test\nHTTP_DOC_ROOT: http://shop.test/store///\n");
    validate_config();
    EXPECT_EQ(OVML_Tag_Open, '[');
    EXPECT_EQ(OVML_Tag_Close, ']');
    EXPECT_EQ(Option_Code_Delimiter, '+');
    EXPECT_EQ(text("CAT_DIR"), "C:/shop/cat");
    EXPECT_EQ(text("STORE_EMAIL"), "a@shop.test,b@shop.test");
    EXPECT_EQ(text("HTTP_CGI_BIN"), "http://shop.test/cgi-bin");
    EXPECT_EQ(text("HTTP_DOC_ROOT"), "http://shop.test/store");
    EXPECT_EQ(var_integer(DICT_CONFIG, "REMEMBER_HOSTS", 0), 1);
    EXPECT_EQ(text("ORVEL_CGI_BIN"), "/cgi-bin/orvel");
    EXPECT_EQ(std::string(var_string(DICT_URL, "MAIN")), "http://shop.test/cgi-bin/orvel");
    EXPECT_EQ(std::string(var_string(DICT_URL, "DOC_BASE")), "http://shop.test/store/");
    OVML_Tag_Open = '<';
    OVML_Tag_Close = '>';
    Option_Code_Delimiter = '-';
}

TEST_F(ConfigFile, TagCharactersOfWrongLengthKeepTheDefaults) {
    Catalog cat;
    load(cat.base_config() + "OVML_TAG_CHARS: [[]\nOPTION_CODE_DELIMITER: --\n");
    validate_config();
    EXPECT_EQ(OVML_Tag_Open, '<');
    EXPECT_EQ(OVML_Tag_Close, '>');
    EXPECT_EQ(Option_Code_Delimiter, '-');
}

TEST_F(ConfigFile, HttpsAlwaysServesEverythingSecurely) {
    Catalog cat;
    load(cat.base_config() +
         "HTTPS_ALWAYS: 1\nHTTPS_CGI_BIN: https://secure.test/cgi\nHTTPS_DOC_ROOT: https://secure.test/docs\n"
         "ORVEL_CGI_BIN: /custom/path//\n");
    validate_config();
    EXPECT_EQ(var_integer(DICT_CONFIG, "HTTPS_ENABLED", 0), 1);
    EXPECT_EQ(text("HTTP_CGI_BIN"), "https://secure.test/cgi");
    EXPECT_EQ(text("HTTP_DOC_ROOT"), "https://secure.test/docs");
    EXPECT_EQ(text("ORVEL_CGI_BIN"), "/custom/path");
}

TEST_F(ConfigFile, TimeoutClamps) {
    load("A: 1\n");
    EXPECT_EQ(get_timeout_seconds(), 60);
    const std::pair<const char *, int> cases[] = {{"-1", 60}, {"0", 10}, {"9", 10}, {"10", 10},
                                                  {"100", 100}, {"3600", 3600}, {"5000", 3600}};
    for (auto [setting, expected] : cases) {
        set_string(DICT_CONFIG, "ORVEL_TIMEOUT", setting);
        EXPECT_EQ(get_timeout_seconds(), expected) << setting;
    }
}

TEST_F(ConfigFile, TemplatePathsFollowThemeAndRefuseUnsafeNames) {
    load("CAT_DIR: " + dir.path() + "\n");
    EXPECT_EQ(get_template_pathname("view"), dir.path() + "/templates/view.html");
    EXPECT_EQ(get_template_pathname("kept_shopper.txt"), dir.path() + "/templates/kept_shopper.txt");
    dir.write("themes/blue/templates/view.html", "x");
    set_string(DICT_SHOPPER, "THEME", "blue");
    EXPECT_EQ(get_template_pathname("view"), dir.path() + "/themes/blue/templates/view.html");
    EXPECT_EQ(get_template_pathname("detail"), dir.path() + "/templates/detail.html");
    for (const char *bad : {"../x", ".hidden", "a/b", "a\\b"}) {
        set_string(DICT_SHOPPER, "THEME", bad);
        EXPECT_EQ(get_theme(), "") << bad;
    }
    EXPECT_EQ(get_template_pathname("../../etc/passwd"), dir.path() + "/templates/error.html");
    EXPECT_NE(std::string(var_string(DICT_ORVEL, "MESSAGE")).find("cannot be served"), std::string::npos);
}

TEST_F(ConfigFile, LoopTextsAreCachedUpToTen) {
    load("CAT_DIR: " + dir.path() + "\n");
    for (int i = 0; i < 11; ++i)
        dir.write("loops/l" + std::to_string(i), "  first; One # comment\n\n# only a comment\nsecond;Two   \n");
    bool owned = true;
    ::text *t = get_loop_text("l0", &owned);
    ASSERT_NE(t, nullptr);
    EXPECT_FALSE(owned);
    ASSERT_EQ(text_length(t), 2);
    EXPECT_STREQ(t->first->string, "  first; One");
    EXPECT_STREQ(t->last->string, "second;Two");
    EXPECT_EQ(get_loop_text("missing"), nullptr);
    for (int i = 1; i < 9; ++i) get_loop_text("l" + std::to_string(i));
    // The cache is full: the eleventh name is read from disk on every use.
    dir.write("loops/l0", "changed\n");
    dir.write("loops/l10", "fresh\n");
    EXPECT_EQ(get_loop_text("l0"), t);
    ::text *uncached = get_loop_text("l10", &owned);
    ASSERT_NE(uncached, nullptr);
    EXPECT_TRUE(owned);
    EXPECT_STREQ(uncached->first->string, "fresh");
    free_text(uncached);
    dir.write("loops/l10", "fresher\n");
    uncached = get_loop_text("l10", &owned);
    EXPECT_STREQ(uncached->first->string, "fresher");
    free_text(uncached);
    EXPECT_EQ(get_loop_text("../escape"), nullptr);
}
