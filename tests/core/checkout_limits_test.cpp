// The order-value limits against a given subtotal, and the order file
// append for plug-ins and merchant pages.
#include "core/actions.h"

#include "support/cgi_harness.h"
#include "support/child.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace orvel_test;

namespace {

class CheckoutLimits : public ::testing::Test {
protected:
    CheckoutLimits() : cwd(dir.path()) {
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
        set_string(DICT_CONFIG, "STORE_PHONE", "555-0100");
        dir.write("templates/error.html", "ERROR[%OVH_MESSAGE]\n");
    }
    ChildResult limits(const char *subtotal) const {
        set_string(DICT_TOTALS, "SUBTOTAL", subtotal);
        return run_in_child([] { maybe_show_cheap_cart(); });
    }
    FreshDictionaries dicts;
    TempDir dir;
    WorkingDirectory cwd;
};

}  // namespace

TEST_F(CheckoutLimits, SubtotalEqualToALimitPasses) {
    set_string(DICT_CONFIG, "MINIMUM_ORDER", "25.00");
    set_string(DICT_CONFIG, "MAXIMUM_ORDER", "500");
    EXPECT_EQ(limits("25.00").exit_status, 0);
    EXPECT_EQ(limits("500.00").exit_status, 0);
    // Sums that are not exact in binary still count in cents.
    EXPECT_EQ(limits("24.999999999").exit_status, 0);

    ChildResult low = limits("24.99");
    EXPECT_EQ(low.exit_status, 1);
    EXPECT_EQ(low.output.substr(low.output.find("ERROR[")),
              "ERROR[Sorry, but we require a minimum order of $25.00.]\n");
    ChildResult high = limits("500.01");
    EXPECT_EQ(high.exit_status, 1);
    EXPECT_NE(high.output.find("ERROR[Sorry, but we don't allow online orders over $500.  Please remove some items "
                               "from your cart, or call us at 555-0100 to complete your order.]"),
              std::string::npos)
        << high.output;
}

TEST_F(CheckoutLimits, NoLimitsWithoutSettings) {
    EXPECT_EQ(limits("0").exit_status, 0);
    EXPECT_EQ(limits("1000000").exit_status, 0);
}

TEST_F(CheckoutLimits, OrderFileAppendAddsEachRenderingAndKeepsTheFilePrivate) {
    dir.write("templates/line.txt", "order for %OVE_NAME\n");
    set_string(DICT_ARGS, "FILE_TEMPLATE", dir.path() + "/templates/line.txt");
    set_string(DICT_ARGS, "FILE_FILENAME", dir.path() + "/book.txt");
    set_string(DICT_SHOPPER, "NAME", "Ann");
    EXPECT_EQ(run_in_child([] { actionMAILTO(); }).exit_status, 0);
    set_string(DICT_SHOPPER, "NAME", "Bob");
    EXPECT_EQ(run_in_child([] { actionMAILTO(); }).exit_status, 0);
    EXPECT_EQ(dir.read("book.txt"), "order for Ann\norder for Bob\n");
    struct stat st {};
    ASSERT_EQ(::stat((dir.path() + "/book.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);

    set_string(DICT_ARGS, "FILE_FILENAME", dir.path() + "/no/such/dir/book.txt");
    ChildResult failed = run_in_child([] { actionMAILTO(); });
    EXPECT_EQ(failed.exit_status, 1);
    EXPECT_NE(failed.output.find("ERROR[Failed to open order file (" + dir.path() + "/no/such/dir/book.txt) for appending.]"),
              std::string::npos)
        << failed.output;
}
