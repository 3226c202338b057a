// Recording finished orders: order files, the plain, TABS and IPT database
// layouts, parallel writers, over-long lines, and writes that fail.
#include "orders/order_records.h"

#include "orders_test_util.h"

#include <csignal>
#include <regex>
#include <sys/resource.h>

using namespace orders_test;
using orvel_test::run_in_child;

namespace {

class OrderRecords : public OrdersTest {
protected:
    OrderRecords() {
        set_string(DICT_SHOPPER, "ORDER_ID", "20240301101500-12345678");
        set_string(DICT_SHOPPER, "NAME", "Ann");
        set_string(DICT_SHOPPER, "PAYMENT_INFO", "invoice");
        dir.write("templates/order_format.txt", "Order %OVE_ORDER_ID\nName: %OVE_NAME\t \nPaid: %OVH_PAYMENT_INFO\n");
    }
    void use_database(const char *format) {
        set_string(DICT_CONFIG, "ORDERS_DB", "data/orders.db");
        set_string(DICT_CONFIG, "ORDERS_DB_FORMAT", format);
        ::mkdir((dir.path() + "/data").c_str(), 0700);
    }
    std::string db() const { return dir.read("data/orders.db"); }
    // The child's page after `step`, checking it ended the request.
    std::string failing(const std::function<void()> &step) {
        orvel_test::ChildResult child = run_in_child(step);
        EXPECT_EQ(child.exit_status, 1) << child.output;
        return child.output;
    }
};

// Ends a child's file writes past `bytes` with an error instead of a signal.
void limit_file_size(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit{bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace

TEST_F(OrderRecords, OrdersDirectoryGetsOneFileAndTheDatabaseIsIgnored) {
    use_database("TABS");
    ::mkdir((dir.path() + "/orders").c_str(), 0700);
    save_invoice();
    EXPECT_EQ(dir.read("orders/20240301101500-12345678.txt"),
              "Order 20240301101500-12345678\nName: Ann\t \nPaid: invoice\n");
    EXPECT_EQ(mode_of(dir.path() + "/orders/20240301101500-12345678.txt"), 0600u);
    EXPECT_FALSE(dir.exists("data/orders.db"));
}

TEST_F(OrderRecords, OrderFileNeedsAUsableId) {
    ::mkdir((dir.path() + "/orders").c_str(), 0700);
    for (const char *id : {"", "../../escape"}) {
        set_string(DICT_SHOPPER, "ORDER_ID", id);
        EXPECT_NE(failing([] { save_invoice(); }).find("Cannot save order file without an order-id."), std::string::npos);
    }
    EXPECT_FALSE(dir.exists("../escape.txt"));
    EXPECT_NE(error_log().find("refused to save order file for unsafe order id \"../../escape\""), std::string::npos);
}

TEST_F(OrderRecords, NoDatabaseNoRecord) {
    set_string(DICT_CONFIG, "ORDERS_DB_FORMAT", "TABS");
    save_invoice();
    EXPECT_FALSE(dir.exists("data"));
}

TEST_F(OrderRecords, TabsLayoutIsOneLinePerOrder) {
    use_database("tabs");
    save_invoice();
    set_string(DICT_SHOPPER, "NAME", "Bob\rJr\tIII");
    save_invoice();
    EXPECT_EQ(db(), "Order 20240301101500-12345678\tName: Ann\tPaid: invoice\t\n"
                    "Order 20240301101500-12345678\tName: Bob+Jr III\tPaid: invoice\t\n");
    EXPECT_EQ(mode_of(dir.path() + "/data/orders.db"), 0600u);
}

TEST_F(OrderRecords, PlainLayoutAppendsTheRenderingAsItIs) {
    use_database("anything");
    save_invoice();
    save_invoice();
    const std::string one = "Order 20240301101500-12345678\nName: Ann\t \nPaid: invoice\n";
    EXPECT_EQ(db(), one + one);
}

namespace {

class IptOrders : public OrderRecords {
protected:
    IptOrders() {
        use_database("IPT");
        set_string(DICT_CONFIG, "IPT_HEADER", "HDR %OVM_DATE_IPT");
        set_string(DICT_CONFIG, "IPT_HTEMPLATE", "H%OVM_IPT_HCOUNT %OVE_NAME");
        set_string(DICT_CONFIG, "IPT_DTEMPLATE", "D%OVI_IPT_SEQ %OVI_SKUID x%OVI_QUANTITY");
        set_string(DICT_CONFIG, "IPT_FOOTER", "END %OVM_IPT_HCOUNT/%OVM_IPT_DCOUNT/%OVM_IPT_TCOUNT");
        set_string(DICT_CONFIG, "DATE_IPT", "240301101500");
        add_product("A", 2, {});
        add_product("B", 1, {});
    }
};

}  // namespace

TEST_F(IptOrders, LaterOrdersKeepEarlierLinesAndRenumber) {
    save_invoice();
    EXPECT_EQ(db(), "HDR 240301101500\nH1 Ann\nD1 A x2\nD2 B x1\nEND 1/2/3\n");
    set_string(DICT_SHOPPER, "NAME", "Bob");
    set_selected_quantity("A", 0);
    unset_var(DICT_SELECTED, "A");
    save_invoice();
    EXPECT_EQ(db(), "HDR 240301101500\nH1 Ann\nD1 A x2\nD2 B x1\nH2 Bob\nD1 B x1\nEND 2/3/5\n");
}

TEST_F(IptOrders, AnyOtherLineIsTheOldFooter) {
    dir.write("data/orders.db", "old header\nH1 Zed\nD1.1 Z x1\nfooter\nH9 lost\nD9 lost\n");
    save_invoice();
    EXPECT_EQ(db(), "HDR 240301101500\nH1 Zed\nD1.1 Z x1\nH2 Ann\nD1 A x2\nD2 B x1\nEND 2/3/5\n");
}

TEST_F(IptOrders, LongLinesAndLineBreaksInShopperValuesLoseNothing) {
    unset_var(DICT_CONFIG, "DATE_IPT");  // worked out from the clock
    set_string(DICT_SHOPPER, "NAME", std::string(10000, 'n'));
    save_invoice();
    set_string(DICT_SHOPPER, "NAME", "Bob\nfooter\r\nH0");
    save_invoice();
    set_string(DICT_SHOPPER, "NAME", "Cy");
    save_invoice();
    const std::string got = db();
    EXPECT_TRUE(std::regex_search(got, std::regex("^HDR \\d{12}\n"))) << got.substr(0, 20);
    EXPECT_NE(got.find("\nH1 " + std::string(10000, 'n') + "\n"), std::string::npos);
    EXPECT_NE(got.find("\nH2 Bob footer  H0\n"), std::string::npos) << got.substr(10000);
    EXPECT_NE(got.find("\nH3 Cy\n"), std::string::npos);
    EXPECT_EQ(got.substr(got.rfind("END")), "END 3/6/9\n");
}

TEST_F(IptOrders, ParallelWritersAllStay) {
    run_in_parallel(20, [](int i) {
        set_string(DICT_SHOPPER, "NAME", "buyer" + std::to_string(i));
        save_invoice();
    });
    const std::string got = db();
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(std::regex_search(got, std::regex("\nH\\d+ buyer" + std::to_string(i) + "\n"))) << i;
    EXPECT_EQ(got.substr(got.rfind("END")), "END 20/40/60\n");
}

TEST_F(OrderRecords, ParallelTabsWritersAllStay) {
    use_database("TABS");
    std::vector<std::string> status = run_in_parallel(20, [](int i) {
        set_string(DICT_SHOPPER, "NAME", "buyer" + std::to_string(i));
        save_invoice();
    });
    EXPECT_EQ(std::count(status.begin(), status.end(), ""), 20);
    const std::string got = db();
    EXPECT_EQ(std::count(got.begin(), got.end(), '\n'), 20);
    for (int i = 0; i < 20; ++i) EXPECT_NE(got.find("Name: buyer" + std::to_string(i) + "\t"), std::string::npos) << i;
}

TEST_F(OrderRecords, KilledWriterLeavesOnlyWholeRecords) {
    use_database("TABS");
    set_string(DICT_SHOPPER, "NAME", std::string(5000, 'n'));  // long records: a torn write would show
    const std::string record = "Order 20240301101500-12345678\tName: " + std::string(5000, 'n') + "\tPaid: invoice\t\n";
    std::size_t last = 0;
    for (int round = 0; round < 30; ++round) {
        std::fflush(nullptr);
        pid_t pid = ::fork();
        if (pid == 0) {
            for (;;) save_invoice();
        }
        ::usleep(static_cast<useconds_t>(300 + (round * 211) % 4000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const std::string got = db();
        ASSERT_EQ(got.size() % record.size(), 0u) << "round " << round;
        for (std::size_t at = 0; at < got.size(); at += record.size())
            ASSERT_EQ(got.compare(at, record.size(), record), 0) << "round " << round << ", offset " << at;
        EXPECT_GE(got.size(), last);
        last = got.size();
    }
    EXPECT_GT(last, 0u) << "the children never got to write";
}

TEST_F(OrderRecords, FailedWritesEndTheRequestAndKeepTheOldRecords) {
    use_database("TABS");
    dir.write("data/orders.db", "earlier order\n");
    const std::string db_path = dir.path() + "/data/orders.db";
    EXPECT_NE(failing([] {
                  limit_file_size(20);
                  save_invoice();
              }).find("Failed to open orders database (" + db_path + ") for appending."),
              std::string::npos);
    EXPECT_EQ(db(), "earlier order\n");

    set_string(DICT_CONFIG, "ORDERS_DB_FORMAT", "IPT");
    set_string(DICT_CONFIG, "IPT_HTEMPLATE", "H %OVE_NAME paid by %OVH_PAYMENT_INFO");
    dir.write("data/orders.db", "header\nH earlier order\n");
    EXPECT_NE(failing([] {
                  limit_file_size(20);
                  save_invoice();
              }).find("Failed to update IPT-format orders file " + db_path + "."),
              std::string::npos);
    EXPECT_EQ(db(), "header\nH earlier order\n");
    set_string(DICT_CONFIG, "ORDERS_DB", "missing-dir/orders.db");
    EXPECT_NE(failing([] { save_invoice(); }).find("Failed to create new IPT-format orders file"), std::string::npos);
    EXPECT_NE(error_log().find("IPT orders file " + dir.path() + "/missing-dir/orders.db cannot be locked or read: No such file or directory"),
              std::string::npos)
        << error_log();

    ::mkdir((dir.path() + "/orders").c_str(), 0700);
    EXPECT_NE(failing([] {
                  limit_file_size(20);
                  save_invoice();
              }).find("Failed to open order file (" + dir.path() + "/orders/20240301101500-12345678.txt) for writing."),
              std::string::npos);
    EXPECT_FALSE(dir.exists("orders/20240301101500-12345678.txt"));
}
