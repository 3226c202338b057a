// The pick-up registry: reading registry lines, expiry, ids, registering
// the cart's downloads at the order finish, checking and purging, and all
// of it at once in parallel processes.
#include "orders/pickups.h"

#include "orders_test_util.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <sstream>

using namespace orders_test;

namespace {

class Pickups : public OrdersTest {
protected:
    std::string registry() const { return dir.read("pickups.txt"); }
    std::vector<std::string> registry_lines() const {
        std::vector<std::string> lines;
        std::istringstream in(registry());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

}  // namespace

TEST_F(Pickups, RegistryLines) {
    pickup p;
    ASSERT_EQ(derive_pickup(p, "abc;books/one.pdf;20991231235959;inline \r\n"), 1);
    EXPECT_EQ(p.id, "abc");
    EXPECT_EQ(p.file, "books/one.pdf");
    EXPECT_EQ(p.expires, "20991231235959");
    EXPECT_TRUE(p.inline_style);

    ASSERT_EQ(derive_pickup(p, "abc;;f.zip;2099123123595999;INLINE"), 1);  // ";;" counts as one
    EXPECT_EQ(p.file, "f.zip");
    EXPECT_EQ(p.expires, "20991231235959");
    EXPECT_TRUE(p.inline_style);
    ASSERT_EQ(derive_pickup(p, "abc;f.zip;20991231235959;whatever"), 1);
    EXPECT_FALSE(p.inline_style);

    ASSERT_EQ(derive_pickup(p, "abc;f.zip"), 1);
    EXPECT_EQ(p.expires, "");
    EXPECT_TRUE(is_stale_pickup_date(p.expires)) << "a line without an expiry never delivers";
    EXPECT_EQ(derive_pickup(p, "abc"), 0);
    EXPECT_EQ(derive_pickup(p, ";;abc;"), 0);
    EXPECT_EQ(derive_pickup(p, "   \n"), 0);
}

TEST_F(Pickups, Staleness) {
    EXPECT_TRUE(is_stale_pickup_date(datetime_in(-120)));
    EXPECT_FALSE(is_stale_pickup_date(datetime_in(120)));
    EXPECT_FALSE(is_stale_pickup_date(datetime_in(120) + "junk"));
    EXPECT_TRUE(is_stale_pickup_date(std::to_string(std::time(nullptr) - 120)));
    EXPECT_FALSE(is_stale_pickup_date(std::to_string(std::time(nullptr) + 120)));
    EXPECT_TRUE(is_stale_pickup_date("soon"));
    EXPECT_TRUE(is_stale_pickup_date(""));
}

TEST_F(Pickups, IdsAreRandomTextsOfTheAlphabet) {
    std::string seed(pickup_seed());
    ASSERT_EQ(seed.size(), 62u);
    std::string sorted = seed;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");

    std::set<std::string> ids;
    std::set<char> used;
    for (int i = 0; i < 200; ++i) {
        std::string id = hash_pickup("12345678", "same.pdf");
        ASSERT_EQ(id.size(), 32u);
        ASSERT_EQ(id.find_first_not_of(seed), std::string::npos) << id;
        ids.insert(id);
        used.insert(id.begin(), id.end());
    }
    EXPECT_EQ(ids.size(), 200u);
    EXPECT_EQ(used.size(), 62u) << "every character of the alphabet turns up";
}

TEST_F(Pickups, FinishRegistersTheCartsDownloads) {
    set_string(DICT_CONFIG, "DEFAULT_PICKUP_EXPIRES", "600");
    add_product("BOOK", 1, {{"PICKUP_FN", "books/%OVI_SKUID.pdf"}, {"PICKUP_INLINE", "1"}});
    add_product("MUG", 2, {});
    add_product("SONG", 1, {{"PICKUP_FN", "music/song.mp3"}, {"PICKUP_EXPIRES", "86400"}});
    dir.write("pickups.txt", "old;gone.zip;20000101000000;attach\n");

    EXPECT_EQ(initialize_pickups(), 1) << "the purge after registering dropped the expired line";
    std::vector<std::string> lines = registry_lines();
    ASSERT_EQ(lines.size(), 2u) << registry();
    const std::string book_id(var_string(get_product("BOOK"), "PICKUP_ID"));
    const std::string song_id(var_string(get_product("SONG"), "PICKUP_ID"));
    EXPECT_EQ(lines[0].substr(0, 33), book_id + ";");
    EXPECT_EQ(lines[1].substr(0, 33), song_id + ";");
    EXPECT_NE(book_id, song_id);
    EXPECT_FALSE(var_defined(get_product("MUG"), "PICKUP_ID"));

    pickup book, song;
    ASSERT_EQ(derive_pickup(book, lines[0]), 1);
    ASSERT_EQ(derive_pickup(song, lines[1]), 1);
    EXPECT_EQ(book.file, "books/BOOK.pdf");
    EXPECT_TRUE(book.inline_style);
    EXPECT_FALSE(song.inline_style);
    EXPECT_GE(book.expires, datetime_in(590));
    EXPECT_LE(book.expires, datetime_in(610));
    EXPECT_GE(song.expires, datetime_in(86390));
    EXPECT_EQ(mode_of(dir.path() + "/pickups.txt"), 0600u);

    std::vector<std::string> listed;
    for (var *v = DICT_PICKUPS->next; v; v = v->next) listed.emplace_back(v->name);
    EXPECT_EQ(listed, (std::vector<std::string>{"BOOK", "SONG"}));
    EXPECT_TRUE(var_boolean(DICT_ORVEL, "SOFTGOODS_REGISTERED"));

    EXPECT_EQ(initialize_pickups(), 1);
    EXPECT_EQ(registry_lines().size(), 2u) << "once per request";
}

TEST_F(Pickups, NothingWithoutAClientAndUnusableNamesAreLogged) {
    add_product("BOOK", 1, {{"PICKUP_FN", "%OVE_WANTED"}});
    set_string(DICT_SHOPPER, "CLIENT", "");
    EXPECT_EQ(initialize_pickups(), 0);
    EXPECT_FALSE(dir.exists("pickups.txt"));

    set_string(DICT_SHOPPER, "CLIENT", "12345678");
    for (const char *bad : {"../orvel.config", "a;b.pdf", "a\nb.pdf", "/etc/passwd", "books/.hidden"}) {
        set_string(DICT_SHOPPER, "WANTED", bad);
        initialize_pickups();
        EXPECT_FALSE(dir.exists("pickups.txt")) << bad;
        EXPECT_FALSE(var_defined(get_product("BOOK"), "PICKUP_ID")) << bad;
    }
    EXPECT_FALSE(var_boolean(DICT_ORVEL, "SOFTGOODS_REGISTERED"));
    EXPECT_NE(error_log().find("pickup not registered: unusable file name \"../orvel.config\""), std::string::npos)
        << error_log();
    EXPECT_NE(error_log().find("download of product BOOK not registered for client 12345678"), std::string::npos);
}

TEST_F(Pickups, VerifyAndPurge) {
    EXPECT_EQ(purge_pickups(), 0);
    EXPECT_FALSE(dir.exists("pickups.txt")) << "a missing registry stays missing";

    const std::string later = datetime_in(3600);
    dir.write("pickups.txt", "expired;a.pdf;20000101000000;attach\n"
                             "two;fields\n"
                             "junk\n"
                             "\n"
                             "good;b.pdf;" + later + ";inline\n"
                             "dup;c.pdf;20000101000000;attach\n"
                             "dup;d.pdf;" + later + ";attach");
    EXPECT_FALSE(verify_pickup("expired"));
    EXPECT_FALSE(verify_pickup("two"));
    EXPECT_FALSE(verify_pickup("goo"));
    EXPECT_FALSE(verify_pickup(""));
    ASSERT_TRUE(verify_pickup("good"));
    EXPECT_EQ(verify_pickup("good")->file, "b.pdf");
    ASSERT_TRUE(verify_pickup("dup"));
    EXPECT_EQ(verify_pickup("dup")->file, "d.pdf") << "the first valid, unexpired entry";

    EXPECT_EQ(purge_pickups(), 5);
    EXPECT_EQ(registry(), "good;b.pdf;" + later + ";inline\ndup;d.pdf;" + later + ";attach\n");
    EXPECT_EQ(purge_pickups(), 0);
    EXPECT_EQ(mode_of(dir.path() + "/pickups.txt"), 0600u);
}

TEST_F(Pickups, SafeSoftgoodsNames) {
    EXPECT_TRUE(is_safe_softgoods_name("a.pdf"));
    EXPECT_TRUE(is_safe_softgoods_name("books/2024/a b.pdf"));
    for (const char *bad : {"", ".", "..", "../a", "a/../b", "/a", "a//b", "a/", ".hidden", "a\\b", "a\nb"})
        EXPECT_FALSE(is_safe_softgoods_name(bad)) << bad;
}

TEST_F(Pickups, RegistrationsSurviveParallelPurgesAndChecks) {
    const std::string expiry = datetime_in(3600);
    std::vector<std::string> out = run_in_parallel(24, [&](int i) {
        for (int round = 0; round < 25; ++round) {
            if (i % 3 == 0) {
                purge_pickups();
                continue;
            }
            // An expired entry next to each good one keeps every purge
            // rewriting the registry.
            register_pickup("12345678", "old.pdf", "20000101000000", false);
            if (std::optional<pickup> p = register_pickup("12345678", "f" + std::to_string(i) + ".pdf", expiry, false)) {
                if (!verify_pickup(p->id)) std::printf("lost:%s ", p->id.c_str());
                std::printf("%s ", p->id.c_str());
            } else {
                std::printf("failed ");
            }
        }
    });
    int issued = 0;
    for (const std::string &o : out) {
        ASSERT_EQ(o.find("<exit"), std::string::npos) << o;
        EXPECT_EQ(o.find("lost:"), std::string::npos) << o;
        EXPECT_EQ(o.find("failed"), std::string::npos) << o;
        std::istringstream in(o);
        for (std::string id; in >> id; ++issued) EXPECT_TRUE(verify_pickup(id)) << id;
    }
    EXPECT_EQ(issued, 16 * 25);
    purge_pickups();
    EXPECT_EQ(registry_lines().size(), 400u);
}
