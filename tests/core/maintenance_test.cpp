// The periodic maintenance in-process: age limits, which files each purge
// takes, and when the end of a request runs the maintenance.
#include "core/actions.h"
#include "platform/files.h"
#include "session/identify.h"
#include "strings/strutil.h"
#include "support/cgi_harness.h"
#include "support/child.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <utime.h>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

class Purges : public ::testing::Test {
protected:
    Purges() {
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
        fs::create_directories(dir.path() + "/users");
        fs::create_directories(dir.path() + "/pending");
        fs::create_directories(dir.path() + "/orders");
    }
    void file(const std::string &relative, long age_seconds, const std::string &contents = "x\n") const {
        dir.write(relative, contents);
        struct utimbuf t;
        t.actime = t.modtime = std::time(nullptr) - age_seconds;
        ::utime((dir.path() + "/" + relative).c_str(), &t);
    }
    bool has(const std::string &relative) const { return dir.exists(relative); }
    std::string stamp_name() const { return "users/last" + my_strdate() + ".txt"; }

    FreshDictionaries dicts;
    TempDir dir;
};

constexpr long DAY = 86400;

}  // namespace

TEST_F(Purges, AgeLimitsCountDaysBelow1800AndSecondsAbove) {
    struct Case {
        const char *value;
        long user, pending, orders;
    };
    const Case cases[] = {
        {nullptr, DAY, 7 * DAY, -1},      // absent
        {"0", DAY, 7 * DAY, -1},          // zero
        {"-5", DAY, 7 * DAY, -1},         // negative
        {"2", 2 * DAY, 2 * DAY, 2 * DAY},  // days
        {"3600", 3600, 3600, 3600},        // seconds
        {"1799", 7 * DAY, 1799 * DAY, 1799 * DAY},  // days, the shopper files capped at a week
        {"30", 7 * DAY, 30 * DAY, 30 * DAY},
        {"90", 7 * DAY, 90 * DAY, 90 * DAY},
    };
    for (const Case &c : cases) {
        for (const char *key : {"USER_FILE_AGE", "PENDING_ORDER_FILE_AGE", "ORDER_FILE_AGE"}) {
            if (c.value) set_string(DICT_CONFIG, key, c.value);
            else unset_var(DICT_CONFIG, key);
        }
        const char *shown = c.value ? c.value : "absent";
        EXPECT_EQ(get_user_reap_threshold(), c.user) << shown;
        EXPECT_EQ(get_pending_order_reap_threshold(), c.pending) << shown;
        EXPECT_EQ(get_order_reap_threshold(), c.orders) << shown;
    }
}

TEST_F(Purges, ShopperFilePurgeByNameAndAge) {
    set_string(DICT_CONFIG, "USER_FILE_AGE", "3600");
    file("users/user11111111.txt", 7200);
    file("users/data11111111.txt", 7200);
    file("users/user22222222.txt", 600);       // young
    file("users/USER33333333.txt", 7200);      // names are compared case-sensitively
    file("users/notes.txt", 30 * DAY);         // not the program's
    file("users/lastnight.txt", 0);            // stamps go whatever their age
    file("users/last19990101.txt", 30 * DAY);
    file("users/user44444444.txt", -3600);     // from the future: not stale
    EXPECT_EQ(purge_user_files(), 2);
    EXPECT_FALSE(has("users/user11111111.txt"));
    EXPECT_FALSE(has("users/data11111111.txt"));
    EXPECT_FALSE(has("users/lastnight.txt"));
    EXPECT_FALSE(has("users/last19990101.txt"));
    EXPECT_TRUE(has("users/user22222222.txt"));
    EXPECT_TRUE(has("users/USER33333333.txt"));
    EXPECT_TRUE(has("users/notes.txt"));
    EXPECT_TRUE(has("users/user44444444.txt"));
    EXPECT_EQ(purge_user_files(), 0);
}

TEST_F(Purges, UnlistableUsersDirectoryEndsTheRequest) {
    set_string(DICT_CONFIG, "USERS_DIR", dir.path() + "/missing");
    ChildResult r = run_in_child([] { purge_user_files(); });
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.output.find("Failed to open user directory (" + dir.path() + "/missing) for maintenance."),
              std::string::npos)
        << r.output;
}

TEST_F(Purges, PendingAndOrderFilePurges) {
    file("pending/A1.TXT", 8 * DAY);
    file("pending/A2.txt", 6 * DAY);
    file("pending/A1.bak", 8 * DAY);
    file("orders/B1.txt", 100 * DAY);
    file("orders/B2.txt", 10 * DAY);
    EXPECT_EQ(purge_pending_orders(), 1);
    EXPECT_FALSE(has("pending/A1.TXT"));
    EXPECT_TRUE(has("pending/A2.txt"));
    EXPECT_TRUE(has("pending/A1.bak"));

    // Order files stay until the merchant sets an age.
    EXPECT_EQ(purge_orders(), -1);
    set_string(DICT_CONFIG, "ORDER_FILE_AGE", "0");
    EXPECT_EQ(purge_orders(), -1);
    EXPECT_TRUE(has("orders/B1.txt"));
    set_string(DICT_CONFIG, "ORDER_FILE_AGE", "90");
    EXPECT_EQ(purge_orders(), 1);
    EXPECT_FALSE(has("orders/B1.txt"));
    EXPECT_TRUE(has("orders/B2.txt"));

    fs::remove_all(dir.path() + "/pending");
    fs::remove_all(dir.path() + "/orders");
    EXPECT_EQ(purge_pending_orders(), -1);
    EXPECT_EQ(purge_orders(), -1);
}

TEST_F(Purges, DueOncePerDayWithTheDefaultShopperFileAge) {
    // No stamp: due.
    file("users/user11111111.txt", 2 * DAY);
    do_daily_tasks();
    EXPECT_FALSE(has("users/user11111111.txt"));
    const std::string stamp = dir.read(stamp_name());
    EXPECT_EQ(stamp.size(), 15u);
    EXPECT_EQ(stamp.rfind(my_strdate(), 0), 0u) << stamp;

    // Stamped earlier today: with a day-long shopper-file age nothing is
    // due until tomorrow's stamp is missing.
    dir.write(stamp_name(), "19990101000000\n");
    file("users/user22222222.txt", 2 * DAY);
    do_daily_tasks();
    EXPECT_TRUE(has("users/user22222222.txt"));
    EXPECT_EQ(dir.read(stamp_name()), "19990101000000\n");
}

TEST_F(Purges, DueOncePerHourWithAShortShopperFileAge) {
    set_string(DICT_CONFIG, "USER_FILE_AGE", "3600");
    const std::string this_hour = my_strdate() + my_strtime().substr(0, 2);

    // A stamp of this hour: nothing is due.
    dir.write(stamp_name(), this_hour + "0000\n");
    file("users/user11111111.txt", 2 * 3600);
    do_daily_tasks();
    EXPECT_TRUE(has("users/user11111111.txt"));

    // A stamp of another hour: the first request of this hour purges and
    // stamps again.
    dir.write(stamp_name(), "19990101000000\n");
    do_daily_tasks();
    EXPECT_FALSE(has("users/user11111111.txt"));
    EXPECT_EQ(dir.read(stamp_name()).rfind(this_hour, 0), 0u) << dir.read(stamp_name());

    // Hourly purges switched off, or an unreadable stamp line: only the
    // daily run remains.
    for (const char *stamp : {"19990101000000\n", ""}) {
        set_string(DICT_CONFIG, "DISABLE_HOURLY_PURGES", *stamp ? "1" : "0");
        dir.write(stamp_name(), stamp);
        file("users/user22222222.txt", 2 * 3600);
        do_daily_tasks();
        EXPECT_TRUE(has("users/user22222222.txt")) << stamp;
    }
}

TEST_F(Purges, StampWrittenOrReportedAsFailed) {
    EXPECT_EQ(Orvel_stamp_maintenance_file(), 1);
    EXPECT_EQ(dir.read(stamp_name()).rfind(my_strdate(), 0), 0u);
    set_string(DICT_CONFIG, "USERS_DIR", dir.path() + "/missing");
    EXPECT_EQ(Orvel_stamp_maintenance_file(), 0);
}

TEST_F(Purges, ARunInProgressElsewhereIsNotRepeated) {
    file("users/user11111111.txt", 2 * DAY);
    {
        // Another request is running the maintenance: this one goes on
        // without waiting and without purging.
        FileLock other(dir.path() + "/users/.maintenance.lock");
        ASSERT_TRUE(other.held());
        do_daily_tasks();
        EXPECT_TRUE(has("users/user11111111.txt"));
        EXPECT_FALSE(has(stamp_name()));
    }
    do_daily_tasks();
    EXPECT_FALSE(has("users/user11111111.txt"));
    EXPECT_TRUE(has(stamp_name()));
    // The lock file is no session and survives every purge.
    EXPECT_EQ(purge_user_files(), 0);
    EXPECT_TRUE(has("users/.maintenance.lock"));
}
