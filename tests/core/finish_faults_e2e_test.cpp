// End-to-end: finishing orders while other things happen — many shoppers
// finishing at once, one shopper's two FINISH requests at once, FINISH
// killed at any moment, and an orders directory or database on a full file
// system.  Nothing may be lost, recorded twice or left half-written.
#include "checkout_test_util.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace checkout_test;

namespace {

bool has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Orders go to a tab-separated database (one line per order) and take
// their ids from the order sequence.
void use_database(Shop &shop, const std::string &db = "orders.tsv") {
    std::filesystem::remove_all(shop.path() + "/orders");
    shop.configure("ORDERS_DB: " + db + "\nORDERS_DB_FORMAT: TABS\nMIN_ORDER_SEQ: 1000\n"
                   "ORDER_ID_FORMAT: N%OVH_ORDER_SEQ\n");
}

// Every database line is one whole order: id field first, the end field
// last.
void expect_whole_records(const std::string &db, std::set<std::string> *ids = nullptr) {
    for (const std::string &line : lines_of(db)) {
        EXPECT_TRUE(line.starts_with("ORDER N")) << line;
        EXPECT_TRUE(line.ends_with("END OF ORDER\t")) << line;
        if (ids) ids->insert(line.substr(6, line.find('\t') - 6));
    }
}

}  // namespace

TEST(FinishFaults, ManyShoppersFinishingAtOnceGetDistinctOrdersAllRecorded) {
    SmtpSink sink;
    Shop shop(sink);
    use_database(shop);
    constexpr int shoppers = 16;
    std::vector<std::string> cookies;
    for (int i = 0; i < shoppers; ++i) cookies.push_back(shop.shopper_with_cart());

    std::vector<Response> answers(shoppers);
    std::vector<std::thread> threads;
    for (int i = 0; i < shoppers; ++i)
        threads.emplace_back([&, i] { answers[static_cast<std::size_t>(i)] = shop.ask("action=finish", cookies[static_cast<std::size_t>(i)]); });
    for (std::thread &t : threads) t.join();

    std::set<std::string> receipt_ids;
    for (const Response &r : answers) {
        EXPECT_EQ(r.exit_status, 0) << r.raw;
        receipt_ids.insert(page_field(r.body, "ORDER_ID"));
    }
    EXPECT_EQ(receipt_ids.size(), static_cast<std::size_t>(shoppers)) << "every order has its own id";
    std::set<std::string> recorded;
    expect_whole_records(shop.read("orders.tsv"), &recorded);
    EXPECT_EQ(recorded, receipt_ids);
    EXPECT_EQ(shop.read("users/orderseq.txt"), std::to_string(1000 + shoppers) + "\n");
    EXPECT_EQ(sink.messages().size(), static_cast<std::size_t>(2 * shoppers));
    // Each shopper's download registered once.
    EXPECT_EQ(lines_of(shop.read("pickups.txt")).size(), static_cast<std::size_t>(shoppers));
}

TEST(FinishFaults, TwoFinishRequestsOfOneShopperAtOnceRecordOneOrder) {
    SmtpSink sink;
    Shop shop(sink);
    use_database(shop);
    for (int round = 0; round < 3; ++round) {
        const std::string cookie = shop.shopper_with_cart();
        Response a, b;
        std::thread first([&] { a = shop.ask("action=finish", cookie); });
        std::thread second([&] { b = shop.ask("action=finish", cookie); });
        first.join();
        second.join();
        EXPECT_EQ(a.exit_status, 0) << a.raw;
        EXPECT_EQ(b.exit_status, 0) << b.raw;
        // One receipt and one "empty" page, in either order.
        EXPECT_EQ(has(a.body, "RECEIPT") + has(b.body, "RECEIPT"), 1) << a.body << "\n---\n" << b.body;
        EXPECT_EQ(has(a.body, "EMPTY CART") + has(b.body, "EMPTY CART"), 1);
    }
    EXPECT_EQ(lines_of(shop.read("orders.tsv")).size(), 3u);
    EXPECT_EQ(sink.messages().size(), 6u) << "one set of invoices per order";
}

TEST(FinishFaults, KilledAtAnyMomentLeavesNoTornFile) {
    SmtpSink sink;
    Shop shop(sink);
    use_database(shop);
    shop.write("users/orderseq.txt", "1000\n");
    int completed = 0;
    for (int i = 0; i < 24; ++i) {
        const std::string cookie = shop.shopper_with_cart();
        Request finish;
        finish.query = "action=finish";
        finish.env["HTTP_COOKIE"] = cookie;
        finish.kill_signal = SIGKILL;
        finish.kill_after_ms = 2 * i;
        Response r = run_orvel(shop.path(), finish);
        if (r.exit_status == 0) ++completed;
        else EXPECT_EQ(r.exit_status, 128 + SIGKILL) << r.raw;

        // Whatever moment the kill hit, every shared file is whole.
        const std::string seq = shop.read("users/orderseq.txt");
        EXPECT_FALSE(seq.empty());
        EXPECT_EQ(seq, std::to_string(std::stoi(seq)) + "\n");
        expect_whole_records(shop.read("orders.tsv"));
        for (const std::string &line : lines_of(shop.read("pickups.txt")))
            EXPECT_EQ(std::count(line.begin(), line.end(), ';'), 3) << line;
    }
    // After all that the store still takes orders.
    Response r = shop.ask("action=finish", shop.shopper_with_cart());
    EXPECT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_TRUE(has(r.body, "RECEIPT")) << r.body;
    std::set<std::string> ids;
    expect_whole_records(shop.read("orders.tsv"), &ids);
    EXPECT_GE(ids.size(), static_cast<std::size_t>(completed + 1));
}

namespace {

// A 16 KiB tmpfs mounted at `dir` for the test's lifetime, if the machine
// allows it.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string &dir) : dir_(dir) {
        std::filesystem::create_directories(dir);
        mounted_ = ::geteuid() == 0 && ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=16k,mode=0755") == 0;
        if (!mounted_) why_ = std::strerror(errno);
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string &why() const { return why_; }
    // Fills the file system to the last byte with one file.
    void fill() const {
        const int fd = ::open((dir_ + "/ballast").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string block(512, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {}
        while (::write(fd, "x", 1) > 0) {}
        ::close(fd);
    }
    void empty() const { std::filesystem::remove(dir_ + "/ballast"); }

private:
    std::string dir_, why_;
    bool mounted_ = false;
};

}  // namespace

TEST(FinishFaults, FullFileSystemEndsTheFinishBeforeAnyReceipt) {
    SmtpSink sink;
    Shop shop(sink);
    SmallFileSystem orders(shop.path() + "/orders");
    if (!orders.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (" << orders.why() << "); skipped";
    orders.fill();

    const std::string cookie = shop.shopper_with_cart();
    Response r = shop.ask("action=finish", cookie);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(has(r.body, "ERROR: Failed to open order file (" + shop.path() + "/orders/")) << r.body;
    EXPECT_FALSE(has(r.body, "RECEIPT"));
    EXPECT_TRUE(sink.messages().empty()) << "no invoice for an order that was not recorded";

    // The shopper still has the cart and, once there is room, finishes.
    orders.empty();
    Response retry = shop.ask("action=finish", cookie);
    ASSERT_EQ(retry.exit_status, 0) << retry.raw;
    const std::string id = page_field(retry.body, "ORDER_ID");
    EXPECT_TRUE(shop.read("orders/" + id + ".txt").ends_with("END OF ORDER\n"));
    EXPECT_EQ(sink.messages().size(), 2u);
}

TEST(FinishFaults, FullFileSystemForTheDatabaseKeepsTheOrdersAlreadyThere) {
    SmtpSink sink;
    Shop shop(sink);
    SmallFileSystem db(shop.path() + "/db");
    if (!db.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (" << db.why() << "); skipped";
    use_database(shop, "db/orders.tsv");
    ASSERT_EQ(shop.ask("action=finish", shop.shopper_with_cart()).exit_status, 0);
    const std::string before = shop.read("db/orders.tsv");
    ASSERT_EQ(lines_of(before).size(), 1u);

    db.fill();
    const std::string cookie = shop.shopper_with_cart();
    Response r = shop.ask("action=finish", cookie);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(has(r.body, "ERROR: Failed to open orders database (" + shop.path() + "/db/orders.tsv) for appending."))
        << r.body;
    EXPECT_FALSE(has(r.body, "RECEIPT"));
    EXPECT_EQ(shop.read("db/orders.tsv"), before);
    EXPECT_EQ(sink.messages().size(), 2u) << "only the first order's invoices";
}
