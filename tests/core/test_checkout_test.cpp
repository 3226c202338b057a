// The test checkout's preparation in-process: the sample billing fields,
// the first priced product and the first choice of each of the store's
// checkout lists.
#include "catalog/products.h"
#include "catalog/selection.h"
#include "core/actions.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

using namespace orvel_test;

TEST(TestCheckout, SampleBillingFirstPricedProductAndFirstListChoices) {
    FreshDictionaries dicts;
    TempDir dir;
    set_string(DICT_CONFIG, "CAT_DIR", dir.path());
    dir.write("products.txt", "SKUID: FREE\nNAME: Sample\nPRICE: 0\n\n"
                              "SKUID: NOPRICE\nNAME: Leaflet\n\n"
                              "SKUID: W-1\nNAME: Widget\nPRICE: 2.50\n\n"
                              "SKUID: W-2\nNAME: Gadget\nPRICE: 9\n");
    set_selected_quantity("W-1", 4);
    set_selected_quantity("OTHER", 2);
    // Comment lines are not choices; the value ends at the first ";".
    dir.write("loops/payment_methods.txt", "# how shoppers pay\n\nCheck;Pay by check\nCard;Credit card\n");
    dir.write("loops/ship_methods.txt", "UPS Ground\n");
    dir.write("loops/tax_regions.txt", "# none yet\n");
    set_string(DICT_SHOPPER, "BILL_FNAME", "Real");
    set_string(DICT_SHOPPER, "BILL_EMAIL", "real@shop.test");
    set_string(DICT_SHOPPER, "SHIP_REGION", "EU");
    set_string(DICT_SHOPPER, "TAX_REGION", "NY");

    prepare_test_checkout();

    const std::pair<const char *, const char *> expected[] = {
        {"BILL_FNAME", "Testor"},         {"BILL_LNAME", "Fazigu"},       {"BILL_COMPANY", "ACME"},
        {"BILL_STREET", "Noplace"},       {"BILL_STREET2", "Nofloor"},    {"BILL_CITY", "Nowhere"},
        {"BILL_STATE", "NY"},             {"BILL_COUNTRY", "US"},         {"BILL_POSTAL_CODE", "55555"},
        {"BILL_PHONE", "555/555-5555"},   {"BILL_FAX", "555/555-5555"},   {"PAYMENT_METHOD", "Check"},
        {"SHIP_METHOD", "UPS Ground"},
        // Lists that are missing or hold no line leave the shopper's own choice.
        {"SHIP_REGION", "EU"},            {"TAX_REGION", "NY"},
        // Fields the test does not fill keep their value.
        {"BILL_EMAIL", "real@shop.test"},
    };
    for (const auto &[field, value] : expected) EXPECT_EQ(var_string(DICT_SHOPPER, field), value) << field;
    var *same = get_var(DICT_SHOPPER, "SHIP_SAME_AS_BILL");
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->value->type, TYPE_INTEGER);
    EXPECT_EQ(var_integer(DICT_SHOPPER, "SHIP_SAME_AS_BILL", 0), 1);
    // The first product with a price, one unit of it; the rest of the cart
    // stays.
    EXPECT_EQ(get_selected_quantity("W-1"), 1);
    EXPECT_EQ(get_selected_quantity("OTHER"), 2);
    EXPECT_EQ(get_selected_quantity("FREE"), 0);
    EXPECT_EQ(get_selected_quantity("NOPRICE"), 0);
    EXPECT_EQ(get_selected_quantity("W-2"), 0);
    var *product = get_product("W-1");
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(var_string(product, "NAME"), "Widget");
}
