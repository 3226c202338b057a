// Formatting, money amounts and dates.
#include "strings/strutil.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(Format, DupsprintfSizesExactly)
{
    EXPECT_EQ(dupsprintf("%s-%03d-%.2f", "ab", 7, 1.5), "ab-007-1.50");
    EXPECT_EQ(dupsprintf("%s", ""), "");
    EXPECT_EQ(dupsprintf("100%%"), "100%");
}

TEST(Format, DupsprintfNeverCutsLongValues)
{
    std::string big(20000, 'x');
    big[19999] = 'E';
    std::string out = dupsprintf("%s", big.c_str());
    EXPECT_EQ(out.size(), 20000u);
    EXPECT_EQ(out, big);
    EXPECT_EQ(dupsprintf("[%s][%s]", big.c_str(), "tail"), "[" + big + "][tail]");
}

TEST(Money, HalfRoundsUpAtThirdDecimal)
{
    EXPECT_EQ(float_as_dollar_string(2.675), "2.68");
    EXPECT_EQ(float_as_dollar_string(2.674), "2.67");
    EXPECT_EQ(float_as_dollar_string(-0.125), "-0.13");
    EXPECT_EQ(float_as_dollar_string(1.005), "1.01");
    EXPECT_EQ(float_as_dollar_string(0), "0.00");
    EXPECT_EQ(float_as_dollar_string(19.99), "19.99");
    EXPECT_EQ(float_as_dollar_string(1234567.891), "1234567.89");
    EXPECT_EQ(float_as_dollar_string(0.996), "1.00");
}

// Runs each date test in a fixed zone and restores the previous one.
class Dates : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tz = std::getenv("TZ");
        had_tz_ = tz != nullptr;
        if (tz)
            old_tz_ = tz;
    }
    void TearDown() override
    {
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    static void use_zone(const char *zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }

private:
    bool had_tz_ = false;
    std::string old_tz_;
};

// 2000-01-02 03:04:05 UTC, a Sunday.
constexpr std::time_t kSample = 946782245;

TEST_F(Dates, FixedFormats)
{
    use_zone("UTC0");
    EXPECT_EQ(new_rfc1123_date(kSample), "Sun, 02 Jan 2000 03:04:05 GMT");
    EXPECT_EQ(new_rfc850_date(kSample), "Sunday, 02-Jan-00 03:04:05 GMT");
    EXPECT_EQ(new_ctime(kSample, true), "Sun Jan 02 03:04:05 2000 GMT");
    EXPECT_EQ(my_strdate(&kSample), "20000102");
    EXPECT_EQ(my_strtime(&kSample), "030405");
    EXPECT_EQ(my_strdatetime(&kSample), "20000102030405");
}

TEST_F(Dates, LocalAndGreenwichDiffer)
{
    use_zone("EST5"); // five hours west, no daylight saving
    EXPECT_EQ(my_timesub("%Y-%m-%d %H", &kSample, true), "2000-01-02 03");
    EXPECT_EQ(my_timesub("%Y-%m-%d %H", &kSample, false), "2000-01-01 22");
    EXPECT_EQ(my_strdatetime(&kSample), "20000101220405");
    EXPECT_EQ(new_ctime(kSample, false), "Sat Jan 01 22:04:05 2000 EST");
}

TEST_F(Dates, TimesubOutputIsNotLimited)
{
    use_zone("UTC0");
    std::string format;
    for (int i = 0; i < 3000; ++i)
        format += "%Y";
    std::string out = my_timesub(format.c_str(), &kSample, false);
    EXPECT_EQ(out.size(), 12000u);
    EXPECT_EQ(out.substr(11996), "2000");
    EXPECT_EQ(my_timesub("", &kSample, false), "");
    // A literal percent sign.
    EXPECT_EQ(my_timesub("%%", &kSample, false), "%");
}

TEST_F(Dates, TimesubWithoutTimeUsesNow)
{
    use_zone("UTC0");
    std::time_t before = std::time(nullptr);
    std::string year = my_timesub("%s", nullptr, true);
    std::time_t after = std::time(nullptr);
    long got = std::stol(year);
    EXPECT_GE(got, static_cast<long>(before));
    EXPECT_LE(got, static_cast<long>(after));
}

TEST_F(Dates, CurrentDateIsFixedForTheProcess)
{
    std::string date = my_strdate();
    std::string time = my_strtime();
    std::string both = my_strdatetime();
    EXPECT_EQ(date.size(), 8u);
    EXPECT_EQ(time.size(), 6u);
    EXPECT_EQ(both, date + time); // one instant for all three
    // Changing the zone afterwards does not move the request's date and time.
    use_zone("UTC-13");
    EXPECT_EQ(my_strdate(), date);
    EXPECT_EQ(my_strtime(), time);
    use_zone("UTC+11");
    EXPECT_EQ(my_strdatetime(), both);
}

TEST_F(Dates, DateToSeconds)
{
    use_zone("UTC0");
    EXPECT_EQ(Orvel_datetoseconds("20000102030405"), kSample);
    EXPECT_EQ(Orvel_datetoseconds("20000102"), 946771200); // midnight
    // Any length other than 14 reads only the date.
    EXPECT_EQ(Orvel_datetoseconds("200001020304"), 946771200);
    EXPECT_EQ(Orvel_datetoseconds("20240229"), 1709164800);

    use_zone("EST5");
    EXPECT_EQ(Orvel_datetoseconds("20000101220405"), kSample);

    std::time_t before = std::time(nullptr);
    std::time_t now = Orvel_datetoseconds(nullptr);
    EXPECT_GE(now, before);
    EXPECT_LE(now, std::time(nullptr));
}

TEST_F(Dates, DateTimeRoundTripsThroughLocalTime)
{
    use_zone("CET-1CEST,M3.5.0,M10.5.0/3");
    for (std::time_t t : {std::time_t{946782245}, std::time_t{1719835200}, std::time_t{1700000000}}) {
        std::string stamp = my_strdatetime(&t);
        EXPECT_EQ(Orvel_datetoseconds(stamp.c_str()), t) << stamp;
    }
}

} // namespace
