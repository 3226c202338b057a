#include "platform/errors.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <regex>

using namespace orvel_test;

TEST(Logs, WritersLogOnlyWhenTheirFileExisted) {
    FreshDictionaries dicts;
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    reset_log_state();
    overror("first %d", 1);
    EXPECT_FALSE(dir.exists("orvel.err"));
    dir.write("orvel.err", "");
    overror("after creation");  // the writer already decided: still off
    EXPECT_EQ(dir.read("orvel.err"), "");

    reset_log_state();  // a new process notices the file
    overror("one %s", "two");
    overror("line\r\nbreak");
    std::string log = dir.read("orvel.err");
    std::regex line(R"((\d+)\.(\d{14}): one two\n(\d+)\.(\d{14}): line  break\n)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(log, m, line)) << log;
    EXPECT_EQ(m[1], m[3]);
    EXPECT_EQ(m[2], m[4]);

    dir.write("orvel.dep", "");
    set_string(DICT_CONFIG, "ORVEL_DEBUG_LOG", dir.path() + "/debug.txt");
    dir.write("debug.txt", "");
    ovdeprec("deprecated: %s", "x");
    ovdebug("dbg");
    EXPECT_NE(dir.read("orvel.dep").find(": deprecated: x\n"), std::string::npos);
    EXPECT_NE(dir.read("debug.txt").find(": dbg\n"), std::string::npos);
    EXPECT_FALSE(dir.exists("orvel.bug"));
    reset_log_state();
}

TEST(Messages, MerchantWordingPlaceholdersAndTokens) {
    FreshDictionaries dicts;
    set_string(DICT_CONFIG, "STORE_EMAIL", "owner@shop.test");
    EXPECT_EQ(cook_custom_message("CART_EMPTIED", "Your cart has been emptied.", true),
              "Your cart has been emptied.");
    set_string(DICT_MESSAGES, "CART_EMPTIED", "Nothing left! Write %OVM_STORE_EMAIL about %ID.");
    EXPECT_EQ(cook_custom_message("CART_EMPTIED", "default", true, {{"%id", "W1"}}),
              "Nothing left! Write owner@shop.test about W1.");
    EXPECT_EQ(cook_custom_message("CART_EMPTIED", "default", false, {{"%id", "W1"}}),
              "Nothing left! Write %OVM_STORE_EMAIL about W1.");
}

TEST(Messages, ShopperTextIsNeverExpanded) {
    FreshDictionaries dicts;
    set_string(DICT_CONFIG, "STORE_EMAIL", "secret@shop.test");
    std::string cooked = cook_custom_message("BAD_FIELD", "The field %f is wrong.", true,
                                             {{"%f", "%OVM_STORE_EMAIL"}});
    EXPECT_EQ(cooked, "The field %OVM_STORE_EMAIL is wrong.");
}

TEST(Messages, LongMessagesAreCutAt8192) {
    FreshDictionaries dicts;
    EXPECT_EQ(cook_custom_message("X", std::string(10000, 'm'), false).size(), 8192u);
}
