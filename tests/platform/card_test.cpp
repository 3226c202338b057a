// Card number and expiry checks.
#include "platform/card.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/state.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace orvel_test;

TEST(CardNumber, LuhnValidNumbersPassWithAnySeparators)
{
    EXPECT_EQ(invalid_credit_card("4111111111111111"), 0);
    EXPECT_EQ(invalid_credit_card("4111 1111 1111 1111"), 0);
    EXPECT_EQ(invalid_credit_card("4111-1111-1111-1111"), 0);
    EXPECT_EQ(invalid_credit_card("4111/1111/1111/1111"), 0);
    // Odd digit counts double the even positions: 15 and 13 digits.
    EXPECT_EQ(invalid_credit_card("378282246310005"), 0);
    EXPECT_EQ(invalid_credit_card("4222222222222"), 0);
}

TEST(CardNumber, WrongCheckDigitGivesTheLuhnRemainder)
{
    // 4111111111111111 sums to 30; raising the last digit by k leaves k.
    EXPECT_EQ(invalid_credit_card("4111111111111112"), 1);
    EXPECT_EQ(invalid_credit_card("4111111111111119"), 8);
    // A doubled digit above 4 has 9 taken off: 5 doubled counts 1.
    EXPECT_EQ(invalid_credit_card("5111111111111111"), 3);
}

TEST(CardNumber, MalformedZeroOrWrongLengthIsMinusOne)
{
    EXPECT_EQ(invalid_credit_card("4111 1111 1111 111a"), -1);
    EXPECT_EQ(invalid_credit_card("4111.1111.1111.1111"), -1);
    EXPECT_EQ(invalid_credit_card(""), -1);
    EXPECT_EQ(invalid_credit_card("0000 0000 0000 0000"), -1);
    EXPECT_EQ(invalid_credit_card(nullptr), -1);
    // Right check digit, wrong length: 12 and 17 digits.
    EXPECT_EQ(invalid_credit_card("411111111117"), -1);
    EXPECT_EQ(invalid_credit_card("41111111111111113"), -1);
    // A very long run of digits is refused without overrunning anything.
    EXPECT_EQ(invalid_credit_card(std::string(5000, '4').c_str()), -1);
}

TEST(CardNumber, WrongLengthIsWrittenToTheDebugLog)
{
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    FreshDictionaries dicts;
    reset_log_state();
    dir.write("orvel.bug", "");
    EXPECT_EQ(invalid_credit_card("411111111117"), -1);
    EXPECT_NE(dir.read("orvel.bug").find("valid luhn; invalid length"), std::string::npos);
    reset_log_state();
}

namespace {

// Local noon on the 15th of the given month.
std::time_t local_moment(int year, int month)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = 15;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace

TEST(CardDate, CurrentMonthIsNotExpiredTheMonthBeforeIs)
{
    const std::time_t december = local_moment(2030, 12);
    EXPECT_EQ(invalid_credit_card_date_at(12, 30, december), 0);
    EXPECT_EQ(invalid_credit_card_date_at(11, 30, december), 1);
    EXPECT_EQ(invalid_credit_card_date_at(1, 31, december), 0);
    EXPECT_EQ(invalid_credit_card_date_at(12, 29, december), 1);
    // Four-digit years are taken as written.
    EXPECT_EQ(invalid_credit_card_date_at(12, 2030, december), 0);
    EXPECT_EQ(invalid_credit_card_date_at(6, 2029, december), 1);
}

TEST(CardDate, TwoDigitYearsPivotBetween68And69)
{
    const std::time_t now = local_moment(2030, 6);
    EXPECT_EQ(invalid_credit_card_date_at(1, 68, now), 0);  // 2068
    EXPECT_EQ(invalid_credit_card_date_at(12, 69, now), 1); // 1969
    EXPECT_EQ(invalid_credit_card_date_at(12, 99, now), 1); // 1999
    EXPECT_EQ(invalid_credit_card_date_at(6, 0, now), 1);   // 2000
}

TEST(CardDate, NegativeValuesAreRefused)
{
    EXPECT_EQ(invalid_credit_card_date(-1, 30), -1);
    EXPECT_EQ(invalid_credit_card_date(5, -1), -1);
    // The clock-reading form agrees with the explicit one.
    const std::time_t now = std::time(nullptr);
    EXPECT_EQ(invalid_credit_card_date(1, 99), invalid_credit_card_date_at(1, 99, now));
    EXPECT_EQ(invalid_credit_card_date(12, 60), 0);
}
