// Field validation: reading field.rules (sections, replacements, the
// never-saved fields, [MIVS]), every rule kind, mail-address checks, the
// card checks, and the one error page that names every problem.
#include "rules/field_rules.h"

#include "platform/card.h"
#include "support/cgi_harness.h"
#include "support/child.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <ctime>

using namespace orvel_test;

namespace {

class FieldRules : public ::testing::Test {
protected:
    FieldRules() : cwd(dir.path()) {
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
        dir.write("templates/error.html", "ERROR[%OVH_MESSAGE] MISSING[%OVH_FIELDS_MISSING] "
                                          "INVALID[%OVH_FIELDS_INVALID]\n");
    }
    void rules(const std::string &text) const { dir.write("rules/field.rules", text); }
    // validate_fields in a child: its exit status and page.
    ChildResult validate(const std::string &action) const {
        return run_in_child([&] { validate_fields(action); });
    }

    FreshDictionaries dicts;
    TempDir dir;
    WorkingDirectory cwd;
};

// The last month that has passed, as card month and two-digit year.
std::pair<int, int> last_month() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    if (tm.tm_mon == 0) return {12, (tm.tm_year + 1900 - 1) % 100};
    return {tm.tm_mon, (tm.tm_year + 1900) % 100};
}

}  // namespace

TEST(InetEmail, ShapesThatAreAndAreNotAddresses) {
    for (const char *good : {"a@b.c", "  jo.ann+shop@mail.example.org ", "o'brien@x.ie", "x$#%@y.z", "a@b@c.d"})
        EXPECT_EQ(is_valid_inet_email(good), 1) << good;
    for (const char *bad : {"", "@b.c", "a@.b", "a@b.", "a@bc", "a b@c.d", "ab.c", "a@", "a@b,c.d", "é@b.c",
                            "a@b.c\nBcc: x@y.z"})
        EXPECT_EQ(is_valid_inet_email(bad), 0) << bad;
}

TEST_F(FieldRules, SectionsCommentsAndReplacements) {
    rules("ORPHAN : !before any section\n"
          "[ALL]\n"
          "bill_email : !your e-mail address   # shown to the shopper\n"
          "COUNTRY : =USA\n"
          "no colon here\n"
          "[checkout]\n"
          "BILL_EMAIL : +your mail\n"
          "SHIP_NAME : ~BILL_NAME\n"
          "[FINISH]\n"
          "CARD : !card\n"
          "[MIVS]\n"
          "COLORS : 44\n"
          "SIZES : /\n"
          "[NAMES]\n"
          "bill_email : E-mail\n"
          "[MESSAGES]\n"
          "FIELDS_TRY_AGAIN : Fix it.\n");
    get_field_rules("Checkout");
    EXPECT_EQ(var_string(DICT_FIELDS, "BILL_EMAIL"), "+your mail");
    EXPECT_EQ(var_string(DICT_FIELDS, "COUNTRY"), "=USA");
    EXPECT_EQ(var_string(DICT_FIELDS, "SHIP_NAME"), "~BILL_NAME");
    EXPECT_FALSE(var_defined(DICT_FIELDS, "CARD")) << "another action's rule";
    EXPECT_FALSE(var_defined(DICT_FIELDS, "ORPHAN"));
    EXPECT_EQ(var_string(DICT_MIVS, "COLORS"), ",");
    EXPECT_EQ(var_string(DICT_MIVS, "SIZES"), "/");
    EXPECT_EQ(var_string(DICT_NAMES, "BILL_EMAIL"), "E-mail");
    EXPECT_EQ(var_string(DICT_MESSAGES, "FIELDS_TRY_AGAIN"), "Fix it.");

    // The request-only fields are never saved, whatever the file says.
    for (const char *field : {"ACTION", "ITEM", "TEMPLATE", "RANDOMIZER", "SEARCH_SPEC"})
        EXPECT_EQ(field_rules_save_field(field), 0) << field;
    EXPECT_EQ(field_rules_save_field("BILL_EMAIL"), 1) << "+ is saved";
    EXPECT_EQ(field_rules_save_field("COUNTRY"), 1);
    EXPECT_EQ(field_rules_save_field("UNLISTED"), 1);
    EXPECT_EQ(field_rules_required_field("bill_email").value_or("-"), "your mail");
    EXPECT_FALSE(field_rules_required_field("COUNTRY"));
}

TEST_F(FieldRules, MissingFileEndsTheRequest) {
    ChildResult r = validate("VIEW");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.output.find("Failed to open \"" + dir.path() + "/rules/field.rules\" for reading.  This usually means"),
              std::string::npos)
        << r.output;
}

TEST_F(FieldRules, DefaultsAndCopiesFillOnlyEmptyFields) {
    rules("[ALL]\nCOUNTRY : =USA\nREGION : =North\nSHIP_NAME : ~BILL_NAME\nSHIP_CITY : ~BILL_CITY\n"
          "NOTE : -\nNOTHING :\n");
    set_string(DICT_SHOPPER, "REGION", "South");
    set_string(DICT_SHOPPER, "BILL_NAME", "Ann");
    set_string(DICT_SHOPPER, "SHIP_CITY", "   ");
    validate_fields("CONFIRM");
    EXPECT_EQ(var_string(DICT_SHOPPER, "COUNTRY"), "USA");
    EXPECT_EQ(var_string(DICT_SHOPPER, "REGION"), "South");
    EXPECT_EQ(var_string(DICT_SHOPPER, "SHIP_NAME"), "Ann");
    EXPECT_EQ(var_string(DICT_SHOPPER, "SHIP_CITY"), "   ") << "BILL_CITY is empty: nothing to copy";
    EXPECT_EQ(field_rules_save_field("NOTE"), 0);
}

TEST_F(FieldRules, EveryMissingAndInvalidFieldOnOnePage) {
    rules("[ALL]\nBILL_NAME : !your name\nBILL_EMAIL : +your e-mail address\n[CONFIRM]\nBILL_PHONE : !your phone\n"
          "SHIP_EMAIL : -the delivery e-mail\n");
    set_string(DICT_CONFIG, "CHECK_EMAIL", "1");
    set_string(DICT_SHOPPER, "BILL_NAME", " \t ");
    set_string(DICT_SHOPPER, "SHIP_EMAIL", "not-an-address");
    ChildResult r = validate("CONFIRM");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.output.find("ERROR[You didn't enter value(s) for <B>your name, your e-mail address, your phone</B>.  "
                            "You entered invalid value(s) for <B>the delivery e-mail</B>.  Please go back and try again.]"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("MISSING[BILL_NAME:your name;BILL_EMAIL:your e-mail address;BILL_PHONE:your phone]"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("INVALID[SHIP_EMAIL:the delivery e-mail]"), std::string::npos) << r.output;

    // Another action does not require the phone; with CHECK_EMAIL off the
    // address is not looked at.
    set_string(DICT_SHOPPER, "BILL_NAME", "Ann");
    set_string(DICT_SHOPPER, "BILL_EMAIL", "ann@example.org");
    set_string(DICT_CONFIG, "CHECK_EMAIL", "0");
    EXPECT_EQ(validate("CHECKOUT").exit_status, 0);
}

TEST_F(FieldRules, MerchantMessagesAreNotExpandedTwice) {
    // A label rendered from shopper input must stay text on the error page.
    rules("[ALL]\nBILL_NAME : !name %OVM_SECRET\n[MESSAGES]\nFIELDS_MISSING : Missing: %f (%OVM_STORE_NAME)\n");
    set_string(DICT_CONFIG, "STORE_NAME", "Corner Shop");
    set_string(DICT_CONFIG, "SECRET", "hunter2");
    ChildResult r = validate("VIEW");
    EXPECT_NE(r.output.find("ERROR[Missing: name %OVM_SECRET (Corner Shop)  Please go back and try again.]"),
              std::string::npos)
        << r.output;
}

TEST_F(FieldRules, CardNumberCheckedOnlyWhenRequiredAndSwitchedOn) {
    rules("[ALL]\nCREDIT_CODE : -\n");
    set_string(DICT_SHOPPER, "CREDIT_CODE", "4111 1111 1111 1112");
    set_string(DICT_CONFIG, "CHECK_CCN", "1");
    EXPECT_EQ(validate("CONFIRM").exit_status, 0) << "optional card field";

    rules("[ALL]\nCREDIT_CODE : !your card number\n");
    set_string(DICT_CONFIG, "CHECK_CCN", "0");
    EXPECT_EQ(validate("CONFIRM").exit_status, 0) << "check switched off";

    set_string(DICT_CONFIG, "CHECK_CCN", "1");
    ChildResult r = validate("CONFIRM");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.output.find(std::string("ERROR[") + CCN_INVALID_DEFAULT + "  Please go back and try again.]"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("INVALID[CREDIT_CODE:your credit card number]"), std::string::npos) << r.output;

    set_string(DICT_SHOPPER, "CREDIT_CODE", "4111-1111-1111-1111");
    EXPECT_EQ(validate("CONFIRM").exit_status, 0);
}

TEST_F(FieldRules, CardExpiryCheckedAgainstTheCurrentMonth) {
    rules("[ALL]\nCREDIT_MONTH : +month\nCREDIT_YEAR : -\n");
    set_string(DICT_CONFIG, "CHECK_CCD", "1");
    const auto [month, year] = last_month();
    set_string(DICT_SHOPPER, "CREDIT_MONTH", std::to_string(month));
    set_string(DICT_SHOPPER, "CREDIT_YEAR", std::to_string(year));
    ChildResult r = validate("FINISH");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.output.find(CCD_EXPIRED_DEFAULT), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("INVALID[CREDIT_MONTH:the month your credit card expires;"
                            "CREDIT_YEAR:the year your credit card expires]"),
              std::string::npos)
        << r.output;

    // A year that is not a number is not judged.
    set_string(DICT_SHOPPER, "CREDIT_YEAR", "soon");
    EXPECT_EQ(validate("FINISH").exit_status, 0);
    set_string(DICT_SHOPPER, "CREDIT_YEAR", std::to_string((year + 1) % 100));
    EXPECT_EQ(validate("FINISH").exit_status, 0);
}

TEST_F(FieldRules, RevalidationUsesOnlyTheNewActionsRules) {
    rules("[VIEW]\nBILL_NAME : !your name\n[CONFIRM]\nCOUNTRY : =USA\n");
    get_field_rules("VIEW");
    ASSERT_TRUE(var_defined(DICT_FIELDS, "BILL_NAME"));
    revalidate_fields("CONFIRM");
    EXPECT_FALSE(var_defined(DICT_FIELDS, "BILL_NAME"));
    EXPECT_EQ(var_string(DICT_SHOPPER, "COUNTRY"), "USA");
}
