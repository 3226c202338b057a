// Order identifiers and pending orders: the sequence file's base rules,
// parallel and killed increments, the id format and its fall-back, and the
// pending copy of a confirmed order.
#include "orders/order_id.h"

#include "orders_test_util.h"

#include <csignal>
#include <regex>
#include <set>

using namespace orders_test;
using orvel_test::run_in_child;

namespace {

class OrderIds : public OrdersTest {
protected:
    std::string seq_file() const { return dir.read("users/orderseq.txt"); }
};

}  // namespace

TEST_F(OrderIds, SequenceStartsAboveTheStoredNumberOrTheMinimum) {
    EXPECT_EQ(increment_order_id(), 1);  // no file, no minimum
    EXPECT_EQ(increment_order_id(), 2);
    EXPECT_EQ(seq_file(), "2\n");

    dir.write("users/orderseq.txt", "");
    set_string(DICT_CONFIG, "MIN_ORDER_SEQ", "1000");
    EXPECT_EQ(increment_order_id(), 1001);
    EXPECT_EQ(var_integer(DICT_ORVEL, "ORDER_SEQ", 0), 1001);
    EXPECT_EQ(seq_file(), "1001\n");

    dir.write("users/orderseq.txt", "500\n");
    EXPECT_EQ(increment_order_id(), 1001);
    dir.write("users/orderseq.txt", "2000\n");
    EXPECT_EQ(increment_order_id(), 2001);
    dir.write("users/orderseq.txt", "garbage\n");
    EXPECT_EQ(increment_order_id(), 1001);
    EXPECT_EQ(mode_of(dir.path() + "/users/orderseq.txt"), 0600u);
}

TEST_F(OrderIds, ParallelIncrementsGetDistinctNumbers) {
    set_string(DICT_CONFIG, "MIN_ORDER_SEQ", "5000");
    std::vector<std::string> got = run_in_parallel(50, [](int) { std::printf("%d", increment_order_id()); });
    std::set<std::string> distinct(got.begin(), got.end());
    std::set<std::string> expected;
    for (int n = 5001; n <= 5050; ++n) expected.insert(std::to_string(n));
    EXPECT_EQ(distinct, expected);
    EXPECT_EQ(seq_file(), "5050\n");
}

TEST_F(OrderIds, KilledIncrementNeverLeavesTheFileEmpty) {
    dir.write("users/orderseq.txt", "1\n");
    long last = 1;
    for (int round = 0; round < 40; ++round) {
        std::fflush(nullptr);
        pid_t pid = ::fork();
        if (pid == 0) {
            for (;;) increment_order_id();
        }
        ::usleep(static_cast<useconds_t>(200 + (round * 137) % 3000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const std::string now = seq_file();
        ASSERT_TRUE(std::regex_match(now, std::regex(R"(\d+\n)"))) << "round " << round << ": \"" << now << "\"";
        const long n = std::stol(now);
        EXPECT_GE(n, last);
        last = n;
    }
    EXPECT_GT(last, 1) << "the children never got to write";
}

TEST_F(OrderIds, UnwritableSequenceEndsTheRequest) {
    set_string(DICT_CONFIG, "USERS_DIR", dir.path() + "/no-such-dir");
    orvel_test::ChildResult child = run_in_child([] { increment_order_id(); });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_NE(child.output.find("Failed to write sequential order number to disk."), std::string::npos)
        << child.output;
    EXPECT_NE(error_log().find("order sequence " + dir.path() + "/no-such-dir/orderseq.txt cannot be locked"),
              std::string::npos)
        << error_log();
}

TEST_F(OrderIds, DefaultIdIsDateAndClientAssignedOnce) {
    EXPECT_EQ(get_order_id(), "20240301101500-12345678");
    EXPECT_EQ(var_integer(DICT_ORVEL, "ORDER_SEQ", 0), 1);
    EXPECT_EQ(get_order_id(), "20240301101500-12345678");
    maybe_set_order_id();
    EXPECT_EQ(seq_file(), "1\n") << "the sequence advances once per order";
}

TEST_F(OrderIds, NoClientNoId) {
    set_string(DICT_SHOPPER, "CLIENT", "");
    EXPECT_EQ(get_order_id(), "");
    EXPECT_FALSE(dir.exists("users/orderseq.txt"));
}

TEST_F(OrderIds, FormatBlanksBecomeZeros) {
    set_string(DICT_CONFIG, "ORDER_ID_FORMAT", "W %OVH_06R_ORDER_SEQ");
    set_string(DICT_CONFIG, "MIN_ORDER_SEQ", "41");
    EXPECT_EQ(get_order_id(), "W0000042");
}

TEST_F(OrderIds, UnsafeExpansionFallsBackToTheDefaultFormat) {
    for (const std::string &format : std::vector<std::string>{"../%OVE_CLIENT", "%OVE_NAME", "", std::string(250, 'x')}) {
        set_string(DICT_SHOPPER, "ORDER_ID", "");
        set_string(DICT_SHOPPER, "NAME", "a/b");
        set_string(DICT_CONFIG, "ORDER_ID_FORMAT", format);
        EXPECT_EQ(get_order_id(), "20240301101500-12345678") << format;
    }
    EXPECT_NE(error_log().find("order id format gave an unusable id \"../12345678\""), std::string::npos)
        << error_log();
}

class PendingOrders : public OrdersTest {
protected:
    PendingOrders() {
        dir.write("templates/order_format.txt", "ORDER %OVE_ORDER_ID for %OVE_NAME\n");
        ::mkdir((dir.path() + "/pending").c_str(), 0700);
        set_string(DICT_SHOPPER, "NAME", "Ann");
    }
};

TEST_F(PendingOrders, WrittenFromThePendingTemplateElseTheOrderFormat) {
    set_string(DICT_SHOPPER, "ORDER_ID", "A-1");
    set_string(DICT_SHOPPER, "PAYMENT_INFO", "invoice");
    save_pending_order();
    EXPECT_EQ(dir.read("pending/A-1.txt"), "ORDER A-1 for Ann\n");
    EXPECT_EQ(mode_of(dir.path() + "/pending/A-1.txt"), 0600u);

    dir.write("templates/pending_order.txt", "PENDING %OVE_ORDER_ID paid by %OVH_PAYMENT_INFO\n");
    save_pending_order();
    EXPECT_EQ(dir.read("pending/A-1.txt"), "PENDING A-1 paid by invoice\n");
}

TEST_F(PendingOrders, NothingWithoutAUsableIdOrDirectory) {
    save_pending_order();  // no ORDER_ID
    set_string(DICT_SHOPPER, "ORDER_ID", "../escape");
    save_pending_order();
    EXPECT_FALSE(dir.exists("escape.txt"));
    EXPECT_NE(error_log().find("refused to save pending order for unsafe order id \"../escape\""), std::string::npos);

    set_string(DICT_CONFIG, "PENDING_DIR", dir.path() + "/absent");
    set_string(DICT_SHOPPER, "ORDER_ID", "B-2");
    save_pending_order();  // the merchant keeps no pending orders: not an error
    EXPECT_FALSE(dir.exists("absent"));
    EXPECT_FALSE(dir.exists("pending/B-2.txt"));
}
