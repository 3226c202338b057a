// Date tokens and the display names of shopper choices.
#include "ovml/tokens.h"

#include "cgi/output.h"
#include "strings/strutil.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <regex>

using namespace orvel_test;

namespace {

class DateTokens : public ::testing::Test {
protected:
    void SetUp() override { reset_token_state(); }
    FreshDictionaries dicts;
};

constexpr std::time_t BASE = 1000000000;

TEST_F(DateTokens, AdjustmentsMoveByUnits)
{
    long unit = -1;
    EXPECT_EQ(Orvel_OVML_adjust_time("F30D", &BASE, &unit), BASE + 30 * 86400);
    EXPECT_EQ(unit, 86400);
    EXPECT_EQ(Orvel_OVML_adjust_time("P2H", &BASE, &unit), BASE - 2 * 3600);
    EXPECT_EQ(unit, 3600);
    EXPECT_EQ(Orvel_OVML_adjust_time("f1l", &BASE, &unit), BASE + 2635200);
    EXPECT_EQ(Orvel_OVML_adjust_time("p1y", &BASE, &unit), BASE - 31536000);
    EXPECT_EQ(Orvel_OVML_adjust_time("F10m", &BASE, &unit), BASE + 600);
    EXPECT_EQ(Orvel_OVML_adjust_time("P-5S", &BASE, &unit), BASE + 5);
    EXPECT_EQ(unit, 1);
    // Another direction leaves the time; another unit letter counts 0.
    EXPECT_EQ(Orvel_OVML_adjust_time("X5M", &BASE, &unit), BASE);
    EXPECT_EQ(unit, 60);
    EXPECT_EQ(Orvel_OVML_adjust_time("F3Q", &BASE, &unit), BASE);
    EXPECT_EQ(unit, 0);
    // A text that is no adjustment gives time 0 and leaves the unit.
    unit = -7;
    EXPECT_EQ(Orvel_OVML_adjust_time("NOW", &BASE, &unit), 0);
    EXPECT_EQ(Orvel_OVML_adjust_time("F30", &BASE, &unit), 0);
    EXPECT_EQ(unit, -7);
    // Without a base the adjustment starts from now.
    const std::time_t before = std::time(nullptr);
    const std::time_t later = Orvel_OVML_adjust_time("F1H", nullptr, nullptr);
    EXPECT_GE(later, before + 3600);
    EXPECT_LE(later, std::time(nullptr) + 3600);
}

// True when `text` is the rendering `format` gives for now + offset, at
// the start or the end of the call that produced it.
template <typename Format>
bool is_now_plus(const std::string &text, std::time_t before, std::time_t offset, Format format)
{
    const std::time_t a = before + offset, b = std::time(nullptr) + offset;
    return text == format(a) || text == format(b);
}

TEST_F(DateTokens, TokenTextsByUnit)
{
    const std::time_t now = std::time(nullptr);
    const std::string day = ovmlsub("%OVD_F30D");
    EXPECT_TRUE(is_now_plus(day, now, 30 * 86400, [](std::time_t t) { return my_strdate(&t); })) << day;
    EXPECT_TRUE(std::regex_match(day, std::regex(R"(\d{8})")));
    const std::string stamp = ovmlsub("%OVD_X0S");
    EXPECT_TRUE(is_now_plus(stamp, now, 0, [](std::time_t t) { return my_strdatetime(&t); })) << stamp;
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{14})")));
    const std::string past = ovmlsub("%OVd_p2h");
    EXPECT_TRUE(is_now_plus(past, now, -7200, [](std::time_t t) { return my_strdatetime(&t); })) << past;

    set_string(DICT_TWEAKS, "COOKIEDATES", "1");
    const std::string cookie = ovmlsub("%OVD_F1Y");
    EXPECT_TRUE(is_now_plus(cookie, now, 31536000, [](std::time_t t) { return cookie_time(t); })) << cookie;
    EXPECT_NE(cookie.find("GMT"), std::string::npos);
}

TEST_F(DateTokens, UnreadableSpecsGiveNoText)
{
    EXPECT_EQ(get_OVML_Token_Date("NOW"), "");
    EXPECT_EQ(ovmlsub("[%OVD_NOW|soon]"), "[soon]");
}

class NameTokens : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_token_state();
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
    }
    void TearDown() override { reset_token_state(); }

    FreshDictionaries dicts;
    TempDir dir;
};

TEST_F(NameTokens, NamesComeFromTheNamesDictionary)
{
    set_string(DICT_SHOPPER, "SHIP_METHOD", "ups");
    set_string(DICT_NAMES, "SHIP_METHOD_UPS", "UPS Ground");
    EXPECT_EQ(ovmlsub("%OVE_SHIP_METHOD_NAME"), "UPS Ground");
    EXPECT_EQ(get_OVML_Token_Name("E_SHIP_METHOD_NAME"), "UPS Ground");
    // The shopper's own field of that name comes first.
    set_string(DICT_SHOPPER, "SHIP_METHOD_NAME", "Mine");
    EXPECT_EQ(ovmlsub("%OVE_SHIP_METHOD_NAME"), "Mine");
    // Only shopper tokens ending in _NAME have display names.
    set_string(DICT_CONFIG, "SHIP_METHOD", "ups");
    EXPECT_EQ(ovmlsub("[%OVM_SHIP_METHOD_NAME]"), "[]");
    EXPECT_FALSE(get_OVML_Token_Name("E_SHIP_METHOD"));
    EXPECT_FALSE(get_OVML_Token_Name("M_SHIP_METHOD_NAME"));
}

TEST_F(NameTokens, NamesFromTheLoopFileAreRemembered)
{
    dir.write("loops/tokens_ship_methods.txt",
              "# method;name;price\n"
              "  FedEx;  FedEx Express ; 12.00\n"
              "ups;UPS\n"
              "mail\n");
    set_string(DICT_LOOPNAMES, "SHIP_METHOD", "tokens_ship_methods.txt");
    set_string(DICT_SHOPPER, "SHIP_METHOD", "fedex");
    EXPECT_EQ(ovmlsub("[%OVE_SHIP_METHOD_NAME]"), "[FedEx Express]");
    EXPECT_EQ(var_string(DICT_NAMES, "SHIP_METHOD_FEDEX"), "FedEx Express");
    // A choice without a line in the list is its own name.
    set_string(DICT_SHOPPER, "SHIP_METHOD", "mail");
    EXPECT_EQ(ovmlsub("[%OVE_SHIP_METHOD_NAME]"), "[mail]");
    EXPECT_FALSE(var_defined(DICT_NAMES, "SHIP_METHOD_MAIL"));
    // No choice: no name, so the fall-back stands.
    unset_var(DICT_SHOPPER, std::string_view("SHIP_METHOD"));
    EXPECT_EQ(ovmlsub("[%OVE_SHIP_METHOD_NAME|none]"), "[none]");
    EXPECT_FALSE(get_OVML_Token_Name("E_SHIP_METHOD_NAME"));
}

TEST_F(NameTokens, AChoiceWithoutLoopFileIsItsOwnName)
{
    set_string(DICT_SHOPPER, "PAYMENT_METHOD", "cod");
    EXPECT_EQ(ovmlsub("%OVE_PAYMENT_METHOD_NAME"), "cod");
}

TEST_F(NameTokens, DisableFooNamesIsReadOnce)
{
    set_string(DICT_SHOPPER, "SHIP_METHOD", "ups");
    set_string(DICT_NAMES, "SHIP_METHOD_UPS", "UPS Ground");
    EXPECT_EQ(ovmlsub("%OVE_SHIP_METHOD_NAME|x"), "UPS Ground");
    set_string(DICT_CONFIG, "DISABLE_FOO_NAMES", "yes");
    EXPECT_EQ(ovmlsub("%OVE_SHIP_METHOD_NAME|x"), "UPS Ground");
    reset_token_state();
    EXPECT_EQ(ovmlsub("%OVE_SHIP_METHOD_NAME|x"), "x");
    EXPECT_FALSE(get_OVML_Token_Name("E_SHIP_METHOD_NAME"));
}

}  // namespace
