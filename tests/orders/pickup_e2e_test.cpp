// End-to-end: the PICKUP action of the real program, as a CGI process —
// the redirect to the file's address, delivery with its headers, every
// refusal, files outside the softgoods directory, CLEANUP's count, and ids
// issued while other requests purge and deliver.
#include "orders/pickups.h"

#include "orders_test_util.h"

#include <atomic>
#include <filesystem>
#include <thread>

using namespace orvel_test;
using orders_test::datetime_in;

namespace {

// The request ended with status 1 and a page that says `message`.
::testing::AssertionResult refused(const Response &r, const std::string &message) {
    if (r.exit_status == 1 && r.body.find(message) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "status " << r.exit_status << ", wanted \"" << message << "\" in:\n" << r.raw;
}

class Downloads : public Catalog {
public:
    Downloads() {
        write("softgoods/books/guide 2.txt", "the guide\n");
        write("softgoods/song.zip", std::string("PK\0\1binary\xff", 11));
        const std::string later = datetime_in(3600);
        write("pickups.txt", "BOOKID;books/guide 2.txt;" + later + ";attach\n"
                             "SONGID;song.zip;" + later + ";inline\n"
                             "OLDID;song.zip;20000101000000;attach\n"
                             "UPID;../orvel.config;" + later + ";attach\n"
                             "GONEID;missing.zip;" + later + ";attach\n"
                             "LINKID;link.txt;" + later + ";attach\n");
    }
    Response pickup(const std::string &query) const {
        Request r;
        r.query = query;
        return run_orvel(path(), r);
    }
    Response fetch(const std::string &path_info) const {
        Request r;
        r.env["PATH_INFO"] = path_info;
        return run_orvel(path(), r);
    }
};

}  // namespace

TEST(Pickup, ActionRedirectsToTheFilesOwnAddress) {
    Downloads shop;
    Response r = shop.pickup("action=pickup&item=BOOKID");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(r.status, "301 301");
    const std::string location = r.header("Location");
    EXPECT_EQ(location.substr(0, 30), "http://shop.test/cgi-bin/orvel") << location;
    EXPECT_TRUE(location.ends_with("/pickups/BOOKID/books/guide%202.txt")) << location;
}

TEST(Pickup, DeliveryWithDownloadHeaders) {
    Downloads shop;
    Response attach = shop.fetch("/pickups/BOOKID/guide%202.txt");
    ASSERT_EQ(attach.exit_status, 0) << attach.raw;
    EXPECT_EQ(attach.header("Content-Type"), "text/plain");
    EXPECT_EQ(attach.header("Content-Disposition"), "attachment; filename=guide 2.txt");
    EXPECT_EQ(attach.header("Content-Length"), "10");
    EXPECT_EQ(attach.body, "the guide\n");

    Response inline_file = shop.fetch("/pickups/SONGID/whatever.zip");
    ASSERT_EQ(inline_file.exit_status, 0) << inline_file.raw;
    EXPECT_EQ(inline_file.header("Content-Type"), "application/zip");
    EXPECT_EQ(inline_file.header("Content-Disposition"), "");
    EXPECT_EQ(inline_file.header("Content-Length"), "11");
    EXPECT_EQ(inline_file.body, std::string("PK\0\1binary\xff", 11));

    // A delivery purges the registry: the expired entry is gone.
    EXPECT_EQ(shop.read("pickups.txt").find("OLDID"), std::string::npos);
    EXPECT_NE(shop.read("pickups.txt").find("BOOKID;"), std::string::npos);
}

TEST(Pickup, MissingUnknownAndExpiredIds) {
    Downloads shop;
    EXPECT_TRUE(refused(shop.pickup("action=pickup"), "No file-id was given for the pickup.  You should use the URL "
                                                       "given to you in your order confirmation e-mail."));

    for (const std::string &id : {std::string("OLDID"), std::string("BOOKI"), std::string("<b>x</b>")}) {
        Response r = shop.pickup("action=pickup&item=" + (id[0] == '<' ? std::string("%3Cb%3Ex%3C/b%3E") : id));
        const std::string shown = id[0] == '<' ? "&lt;b&gt;x&lt;/b&gt;" : id;
        EXPECT_TRUE(refused(r, "The file-id \"" + shown + "\" is not available for pickup.  You may have mistyped it, "
                               "or it may have expired."));
        EXPECT_NE(r.body.find("call customer support at 555-0100 if"), std::string::npos);
        EXPECT_EQ(r.body.find("<b>x"), std::string::npos);
    }
}

TEST(Pickup, NothingOutsideTheSoftgoodsDirectoryIsDelivered) {
    Downloads shop;
    Response up = shop.fetch("/pickups/UPID/orvel.config");
    EXPECT_TRUE(refused(up, "The filename requested (\"../orvel.config\") contains information which places it "
                            "outside of the softgoods directory.  Contact the merchant at owner@shop.test to report "
                            "this error."));
    EXPECT_EQ(up.raw.find("CAT_DIR"), std::string::npos);
    EXPECT_EQ(shop.pickup("action=pickup&item=UPID").exit_status, 1) << "no redirect for it either";

    // A link inside the directory that leads out of it.
    std::filesystem::create_symlink(shop.path() + "/orvel.config", shop.path() + "/softgoods/link.txt");
    Response linked = shop.fetch("/pickups/LINKID/link.txt");
    EXPECT_TRUE(refused(linked, "The filename requested (\"link.txt\") contains information"));
    EXPECT_EQ(linked.raw.find("CAT_DIR"), std::string::npos);
}

TEST(Pickup, MissingFileIsReportedBeforeAnyHeader) {
    Downloads shop;
    Response r = shop.fetch("/pickups/GONEID/missing.zip");
    EXPECT_EQ(r.header("Content-Length"), "");
    EXPECT_TRUE(refused(r, "Failed to determine the size of \"missing.zip\".  It should exist as a readable file in the "
                           "merchant's softgoods directory."));
}

TEST(Pickup, CleanupCountsThePurgedRecords) {
    Downloads shop;
    shop.write("pickups.txt", shop.read("pickups.txt") + "two;fields\n");
    Response r = shop.pickup("action=cleanup");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.body.find("<LI>Deleted 2 expired or malformed records from the pickups registry.</LI>"),
              std::string::npos)
        << r.body;
    EXPECT_EQ(shop.read("pickups.txt").find("OLDID"), std::string::npos);
}

TEST(Pickup, IdsIssuedWhileCleanupAndDeliveriesRunStillDeliver) {
    Downloads shop;
    FreshDictionaries dicts;
    set_string(DICT_CONFIG, "CAT_DIR", shop.path());
    std::atomic<bool> stop{false};
    std::atomic<int> runs{0};
    std::vector<std::thread> others;
    for (int t = 0; t < 2; ++t)
        others.emplace_back([&, t] {
            while (!stop) {
                Response r = t == 0 ? shop.pickup("action=cleanup") : shop.fetch("/pickups/SONGID/song.zip");
                if (r.exit_status == 0) ++runs;
            }
        });
    std::vector<std::string> ids;
    const std::string later = datetime_in(3600);
    for (int i = 0; i < 40; ++i) {
        // An expired entry each time gives every purge something to rewrite.
        register_pickup("12345678", "song.zip", "20000101000000", false);
        if (std::optional<pickup> p = register_pickup("12345678", "books/guide 2.txt", later, false)) ids.push_back(p->id);
        ::usleep(5000);
    }
    stop = true;
    for (std::thread &t : others) t.join();
    EXPECT_GT(runs.load(), 2) << "the other requests ran meanwhile";
    ASSERT_EQ(ids.size(), 40u);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_TRUE(verify_pickup(ids[i])) << ids[i];
        if (i % 8 == 0) {
            EXPECT_EQ(shop.fetch("/pickups/" + ids[i] + "/guide.txt").body, "the guide\n") << ids[i];
        }
    }
}
