// End-to-end: what a request may and may not do to a store — wrong
// products, hostile codes and text, replayed actions, oversized input,
// quantities at the limits, a session that cannot be saved, and the
// maintenance purges under parallel requests.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

class Shop : public Catalog {
public:
    Shop() {
        write("products.txt", "SKUID: W1\nNAME: Widget\nPRICE: 2.50\n\n"
                              "SKUID: FANCY\nNAME: Fancy\nPRICE: 9\nDTEMPLATE: fancy.html\n\n"
                              "SKUID: SNEAKY\nNAME: Sneaky\nDTEMPLATE: ../../orvel.config\n");
        write("templates/detail.html", "DETAIL %OVI_NAME\n");
        write("templates/custom/fancy.html", "FANCY %OVI_NAME\n");
        write("templates/view.html", "CART<ORVEL_LOOP TYPE=SELECTED> %OVI_SKUID=%OVI_QUANTITY</ORVEL_LOOP>\n");
        write("templates/empty.html", "EMPTY\n");
        write("docs/index.html", "CLIENT=%OVE_CLIENT NAME=%OVE_NAME\n");
    }
    Response get(const std::string &query, const std::string &cookie = "",
                 std::map<std::string, std::string> env = {}) const {
        return get_page(path(), query, cookie, std::move(env));
    }
    Response post(const std::string &body, const std::string &cookie = "") const {
        return post_page(path(), body, cookie);
    }
    // The id is not in the cookie in clear; the start page prints it.
    static std::string id_of(const Response &r) { return page_field(r.body, "CLIENT"); }
    std::vector<std::string> user_files() const {
        std::vector<std::string> names;
        for (auto &e : fs::directory_iterator(path() + "/users")) names.push_back(e.path().filename().string());
        return names;
    }
};

}  // namespace

TEST(Detail, UnknownProductIsAnErrorAndCustomTemplatesApply) {
    Shop shop;
    Response missing = shop.get("action=detail&item=<b>NOPE</b>");
    EXPECT_EQ(missing.exit_status, 1);
    EXPECT_NE(missing.body.find("Invalid product SKUID (&lt;B&gt;NOPE&lt;/B&gt;) given for product detail."),
              std::string::npos)
        << missing.body;
    EXPECT_EQ(missing.body.find("<B>"), std::string::npos);

    EXPECT_EQ(shop.get("action=detail&item=w1").body, "DETAIL Widget\n");
    EXPECT_EQ(shop.get("action=detail&item=fancy").body, "FANCY Fancy\n");
    // A DTEMPLATE leaving the templates is refused by the template lookup.
    Response sneaky = shop.get("action=detail&item=sneaky");
    EXPECT_EQ(sneaky.body.find("CAT_DIR"), std::string::npos) << sneaky.body;
    EXPECT_NE(sneaky.body.find("cannot be served"), std::string::npos) << sneaky.body;
}

TEST(Serve, HashInThePageNameBeforeTheExtension) {
    Shop shop;
    shop.write("docs/page#top.html", "TOP PAGE\n");
    EXPECT_EQ(shop.get("action=serve&item=page%23top.html").body, "TOP PAGE\n");
    Response absent = shop.get("action=serve&item=gone%23top.html");
    EXPECT_EQ(absent.exit_status, 1);
    EXPECT_NE(absent.body.find("hash symbol (#)"), std::string::npos) << absent.body;
    // The name with the "#" is the file's name: nothing else is served for it.
    EXPECT_EQ(shop.get("action=serve&item=orvel.config%23.html").exit_status, 1);
    EXPECT_EQ(shop.get("action=serve&item=orvel.config%23top").exit_status, 1);
    shop.configure("REDIRECT_HASHES: 1\n");
    Response redirect = shop.get("action=serve&item=gone%23top.html");
    EXPECT_NE(redirect.header("Location").find("=serve&item=gone#top.html"), std::string::npos) << redirect.raw;
}

TEST(Session, RequestFieldsAreNeverReplayed) {
    Shop shop;
    shop.write("templates/custom/x.html", "PASSED TEMPLATE\n");
    Response add = shop.get("action=add&item=W1&template=x.html&randomizer=5&search_spec=abc");
    ASSERT_EQ(add.exit_status, 0) << add.raw;
    std::string cookie = cookie_of(add);
    // A bare reload of the store does not add again.
    Response reload = shop.get("", cookie);
    Response view = shop.get("action=view", cookie);
    EXPECT_EQ(view.body, "CART W1=1") << view.raw;
    const std::string id = Shop::id_of(reload);
    ASSERT_EQ(id.size(), 8u) << reload.raw;
    std::string session = shop.read("users/user" + id + ".txt");
    for (const char *name : {"_ACTION:", "_ITEM:", "_TEMPLATE:", "_RANDOMIZER:", "_SEARCH_SPEC:"})
        EXPECT_EQ(session.find(std::string("\n") + name), std::string::npos) << name << "\n" << session;
    // Lines written by an older version are not taken back either.
    shop.write("users/user" + id + ".txt", session + "_ACTION:ADD\n_ITEM:W1\n");
    shop.get("", cookie);
    EXPECT_EQ(shop.get("action=view", cookie).body, "CART W1=1");
}

TEST(Cart, BlankQuantityFollowsTheConfiguration) {
    Shop shop;
    Response first = shop.get("product_W1=3&action=view");
    std::string cookie = cookie_of(first);
    EXPECT_EQ(shop.get("product_W1=&action=view", cookie).body, "CART W1=3") << "ignored by default";
    shop.configure("BLANK_QUANTITY: remove\n");
    EXPECT_EQ(shop.get("product_W1=&action=view", cookie).body, "EMPTY\n");
    // The last value sent decides.
    EXPECT_EQ(shop.get("product_W1=&product_W1=4&action=view", cookie).body, "CART W1=4");
    EXPECT_EQ(shop.get("product_W1=4&product_W1=&action=view", cookie).body, "EMPTY\n");
}

TEST(Cart, CodesThatWouldForgeSessionLinesNeverEnter) {
    Shop shop;
    Response first = shop.get("action=add&item=Z%0A_FORGED:1");
    std::string cookie = cookie_of(first);
    for (const std::string &q : std::vector<std::string>{"product_A%0D_X:1=1", "product=B%0DC", "batch_product_1=C%3AD",
                                 "optioned_SHIRT=red%0A_FORGED", "product_" + std::string(2000, 'L') + "=1"})
        shop.get(q, cookie);
    Response view = shop.get("action=view&name=after", cookie);
    EXPECT_EQ(view.body, "EMPTY\n") << view.raw;
    const std::string id = Shop::id_of(shop.get("", cookie));
    ASSERT_EQ(id.size(), 8u);
    std::string session = shop.read("users/user" + id + ".txt");
    EXPECT_EQ(session.find("FORGED"), std::string::npos) << session;
    EXPECT_NE(session.find("_NAME:after\n"), std::string::npos) << session;
}

TEST(Cart, QuantitiesAreClampedWithoutOverflow) {
    Shop shop;
    Response first = shop.get("product_W1=2147483647&action=view");
    EXPECT_EQ(first.body, "CART W1=999999999") << first.raw;
    Response again = shop.get("action=add&item=W1&arg_quantity=2147483647", cookie_of(first));
    EXPECT_EQ(again.exit_status, 0) << again.raw;
    EXPECT_EQ(shop.get("action=view", cookie_of(first)).body, "CART W1=999999999");
}

TEST(Escaping, MessageActionsShowTheirItemAsText) {
    Shop shop;
    for (const char *action : {"message", "note", "error"}) {
        Response r = shop.get(std::string("action=") + action + "&item=%3Cscript%3Ealert(1)%3C/script%3E");
        EXPECT_EQ(r.body.find("<script>"), std::string::npos) << action << r.body;
        EXPECT_NE(r.body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos) << action << r.body;
    }
}

TEST(Escaping, ThemeNamesAreOnlyPlainWords) {
    Shop shop;
    shop.write("themes/dark.v2/docs/index.html", "DARK\n");
    shop.write("themes/dark.v2/templates/error.html", "DARK ERROR %OVH_MESSAGE\n");
    shop.configure("DOC_ROOT_FOLLOWS_THEME: 1\n");
    shop.write("docs/index.html", "ROOT=%OVU_DOC_ROOT\n");
    EXPECT_EQ(shop.get("theme=dark.v2").body, "ROOT=http://shop.test/store/themes/dark.v2\n");
    for (const char *bad : {"%22%3E%3Cscript%3E", "a%20b", ".hidden", "..", "x/y"})
        EXPECT_EQ(shop.get(std::string("theme=") + bad).body, "ROOT=http://shop.test/store/themes/\n") << bad;
}

TEST(Redirects, BackNeverTakesARefererFromTheQuery) {
    Shop shop;
    Response first = shop.get("");
    Response back = shop.get("action=back&last_static_referer=http://evil.test/", cookie_of(first));
    EXPECT_EQ(back.header("Location").find("evil.test"), std::string::npos) << back.raw;
}

TEST(Limits, OversizedRequestsEndWithAnErrorAndSaveNothing) {
    Shop shop;
    Response first = shop.get("name=kept");
    std::string cookie = cookie_of(first);
    Response big = shop.post("name=" + std::string(1100000, 'x'), cookie);
    EXPECT_EQ(big.exit_status, 1);
    EXPECT_NE(big.body.find("Your request is too large"), std::string::npos) << big.body.substr(0, 300);

    std::string many;
    for (int i = 0; i < 10001; ++i) many += "f" + std::to_string(i) + "=1&";
    many += "name=changed";
    Response fields = shop.post(many, cookie);
    EXPECT_EQ(fields.exit_status, 1);
    EXPECT_NE(fields.body.find("too many fields"), std::string::npos);

    // The session stays under its limit: a request that would pass it saves nothing.
    shop.configure("MAX_SESSION_SIZE: 2000\n");
    Response fat = shop.post("name=" + std::string(3000, 'y'), cookie);
    EXPECT_EQ(fat.exit_status, 1);
    EXPECT_NE(fat.body.find("too large to be saved"), std::string::npos) << fat.body;
    EXPECT_EQ(fat.body.find("CLIENT="), std::string::npos) << "only the error page is sent";
    EXPECT_NE(shop.get("", cookie).body.find("NAME=kept"), std::string::npos);

    // Settings raise the limits.
    shop.configure("MAX_REQUEST_BODY: 3000000\nMAX_SESSION_SIZE: 3000000\n");
    Response allowed = shop.post("name=" + std::string(1100000, 'z'), cookie);
    EXPECT_EQ(allowed.exit_status, 0) << allowed.raw.substr(0, 300);
}

// The users directory on a tiny file system (filled to the last block by
// fill()) for as long as the object lives; unavailable where file systems
// cannot be mounted.
class FullUsersDirectory {
public:
    explicit FullUsersDirectory(const std::string &dir) : dir_(dir) {
        if (::geteuid() != 0) return;
        if (std::system(("mount -t tmpfs -o size=16k tmpfs " + dir + " 2>/dev/null").c_str()) != 0) return;
        mounted_ = true;
    }
    // Takes every block that is left.
    void fill() const {
        FILE *filler = std::fopen((dir_ + "/filler").c_str(), "w");
        std::string block(1024, 'f');
        while (filler && std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
        }
        if (filler) std::fclose(filler);
    }
    ~FullUsersDirectory() {
        if (mounted_) std::system(("umount " + dir_).c_str());
    }
    bool ready() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_ = false;
};

TEST(SaveFailure, AnswersWithTheErrorPageOnlyAndLeavesNoFile) {
    Shop shop;
    const std::string users = shop.path() + "/users";
    Response first = shop.get("name=Ann");
    const std::string cookie = cookie_of(first);
    const std::string id = Shop::id_of(first);
    const std::string session = shop.read("users/user" + id + ".txt");
    {
        // Keep the shopper's session on the small file system.
        std::string saved_session = session;
        FullUsersDirectory full(users);
        if (!full.ready()) GTEST_SKIP() << "cannot mount a small file system here";
        shop.write("users/user" + id + ".txt", saved_session);
        full.fill();
        Response add = shop.get("action=add&item=W1", cookie);
        EXPECT_EQ(add.exit_status, 1);
        EXPECT_EQ(add.body.find("CART"), std::string::npos) << "no cart page before the error: " << add.body;
        EXPECT_NE(add.body.find("Failed to access or create shopper data file"), std::string::npos) << add.body;
        EXPECT_EQ(shop.read("users/user" + id + ".txt"), saved_session);

        // A newcomer whose session cannot be written leaves nothing behind.
        ::unlink((users + "/user" + id + ".txt").c_str());
        Response newcomer = shop.get("name=Bo");
        EXPECT_EQ(newcomer.exit_status, 1) << newcomer.raw;
        for (const std::string &name : shop.user_files())
            EXPECT_TRUE(name == "filler" || name.find(".lock") != std::string::npos) << name;
    }
}

TEST(Maintenance, PurgeSkipsYoungTemporaryFilesAndRemovesAbandonedOnes) {
    Shop shop;
    shop.write("users/.user12345678.txt.tmp.abcdef", "partial");
    shop.write("users/.user23456789.txt.tmp.fedcba", "young");
    shop.write("users/user34567890.txt", "_NAME:old\n");
    shop.write("users/user34567890.lock", "");
    auto age = [&](const std::string &name, long seconds) {
        struct utimbuf t;
        t.actime = t.modtime = time(nullptr) - seconds;
        ::utime((shop.path() + "/users/" + name).c_str(), &t);
    };
    age(".user12345678.txt.tmp.abcdef", 7200);
    age("user34567890.txt", 3 * 86400);
    age("user34567890.lock", 3 * 86400);
    Response r = shop.get("action=cleanup");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    // The stale session and the abandoned copy count; the lock goes with its session.
    EXPECT_NE(r.body.find("<LI>Deleted 2 stale user files.</LI>"), std::string::npos) << r.body;
    EXPECT_FALSE(shop.exists("users/.user12345678.txt.tmp.abcdef"));
    EXPECT_FALSE(shop.exists("users/user34567890.lock"));
    EXPECT_TRUE(shop.exists("users/.user23456789.txt.tmp.fedcba"));
    EXPECT_NE(r.body.find("Touched maintenance file."), std::string::npos);
}

TEST(Maintenance, ParallelFirstRequestsOfTheDayAllSucceed) {
    for (int round = 0; round < 5; ++round) {
        Shop shop;
        std::vector<std::thread> threads;
        std::vector<Response> answers(16);
        for (int i = 0; i < 16; ++i) threads.emplace_back([&, i] { answers[i] = shop.get(""); });
        for (auto &t : threads) t.join();
        for (const Response &a : answers) {
            EXPECT_EQ(a.exit_status, 0) << a.raw;
            EXPECT_EQ(a.body.find("maintenance"), std::string::npos) << a.body;
        }
        for (const std::string &name : shop.user_files())
            EXPECT_EQ(name.find(".tmp."), std::string::npos) << name;
    }
}
