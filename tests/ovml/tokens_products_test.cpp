// Cart sums, product information, the ORVEL_PRODUCT= form special and the
// loose comparison the sums filter with.
#include "ovml/tokens.h"

#include "catalog/products.h"
#include "core/lifecycle.h"
#include "platform/log.h"
#include "rules/totals.h"
#include "search/compare.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

using namespace orvel_test;

namespace {

// Stores a product record as the loader does: a nested dictionary named
// and valued by its SKUID, fields as strings.
var *add_product(const std::string &skuid, std::initializer_list<std::pair<const char *, const char *>> fields)
{
    var *record = new_var(skuid.c_str());
    var_value_set(record, TYPE_STRING, dup_cstring(skuid));
    for (const auto &[name, text] : fields) set_string(record, name, text);
    set_var(DICT_PRODUCTS, skuid.c_str(), TYPE_VAR, record);
    return record;
}

class ProductTokens : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_token_state();
        forget_order_total();
        set_current_product(nullptr);
    }
    void TearDown() override
    {
        set_current_product(nullptr);
        reset_token_state();
    }

    // A: numeric fields, taxable; B: dearer, not taxable; C: a price that
    // is no number and no weight.  (Every cart line is loaded: loading a
    // missing one would need a products file.)
    void fill_cart()
    {
        add_product("A", {{"NAME", "Blue Widget"}, {"PRICE", "2.5"}, {"WEIGHT", "1.5"}, {"TAXABLE", "yes"}});
        add_product("B", {{"NAME", "Gadget"}, {"PRICE", "10"}, {"WEIGHT", "4"}, {"TAXABLE", "0"}});
        add_product("C", {{"NAME", "Custom work"}, {"PRICE", "call"}});
        set_integer(DICT_SELECTED, "A", 3);
        set_integer(DICT_SELECTED, "B", 1);
        set_integer(DICT_SELECTED, "C", 2);
    }

    FreshDictionaries dicts;
};

class ProductTokenLogs : public ProductTokens {
protected:
    void SetUp() override
    {
        ProductTokens::SetUp();
        dir.write("orvel.dep", "");
        dir.write("orvel.err", "");
        reset_log_state();
    }
    void TearDown() override
    {
        reset_log_state();
        ProductTokens::TearDown();
    }

    TempDir dir;
    WorkingDirectory cwd{dir.path()};
};

// ---- sums ------------------------------------------------------------------

TEST_F(ProductTokens, SumsCountLinesItemsAndFields)
{
    fill_cart();
    // Only lines with a loaded product take part.
    EXPECT_EQ(ovmlsub("%OVS_*"), "3.00");
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_*"), "6.00");
    EXPECT_EQ(ovmlsub("%OVS_total_*"), "6.00");
    // A field's value once per line; a value that is no number counts 1.
    EXPECT_EQ(ovmlsub("%OVS_PRICE"), "13.50");
    // TOTAL_ multiplies by the quantity; a product without the field adds
    // nothing.
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_PRICE"), "19.50");
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_WEIGHT"), "8.50");
    EXPECT_EQ(ovmlsub("%OVS_NO_SUCH_FIELD"), "0.00");
    EXPECT_EQ(get_OVML_Sum("TOTAL_NOPE"), "0.00");
}

TEST_F(ProductTokens, SumFiltersKeepOrExcludeLines)
{
    fill_cart();
    EXPECT_EQ(get_OVML_Sum("TOTAL_WEIGHT~TAXABLE"), "4.50");
    EXPECT_EQ(get_OVML_Sum("TOTAL_WEIGHT!TAXABLE"), "4.00");
    EXPECT_EQ(get_OVML_Sum("TOTAL_WEIGHT?TAXABLE"), "8.50");
    // Comparisons go through the search comparison.
    EXPECT_EQ(get_OVML_Sum("TOTAL_PRICE~PRICE>5"), "10.00");
    EXPECT_EQ(get_OVML_Sum("TOTAL_*~NAME:widget"), "3.00");
    EXPECT_EQ(get_OVML_Sum("*!NAME^gad"), "2.00");
    EXPECT_EQ(get_OVML_Sum("TOTAL_*~NOPE=1"), "0.00");
    // A sum token takes a filter on a field; comparisons need braces.
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_WEIGHT~TAXABLE kg"), "4.50 kg");
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_WEIGHT!TAXABLE"), "4.00");
    EXPECT_EQ(ovmlsub("%OV{'S_TOTAL_PRICE~PRICE>5'}"), "10.00");
    // A mark that ends a word is the text's own punctuation.
    EXPECT_EQ(ovmlsub("Only %OVS_TOTAL_WEIGHT! Really %OVS_*?"), "Only 8.50! Really 3.00?");
    // Other tokens end at '*' and '~'.
    set_string(DICT_VARIABLES, "N", "2");
    EXPECT_EQ(ovmlsub("%OVV_N*3 %OVV_N~X"), "2*3 2~X");
}

TEST_F(ProductTokens, RoundSumsCutsTowardZero)
{
    add_product("A", {{"PRICE", "2.5"}});
    set_integer(DICT_SELECTED, "A", 3);
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_PRICE"), "7.50");
    set_string(DICT_TWEAKS, "ROUNDSUMS", "1");
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_PRICE"), "7");
    add_product("R", {{"PRICE", "-4.75"}});
    set_integer(DICT_SELECTED, "R", 2);
    EXPECT_EQ(ovmlsub("%OVS_TOTAL_PRICE"), "-2");  // 7.5 - 9.5
}

TEST_F(ProductTokens, SumSpecPartsAreCutTo64Characters)
{
    const std::string field(64, 'F');
    add_product("A", {{field.c_str(), "2"}});
    set_integer(DICT_SELECTED, "A", 1);
    EXPECT_EQ(get_OVML_Sum(field + "XYZ"), "2.00");
    EXPECT_EQ(get_OVML_Sum(field.substr(1) + "X"), "0.00");
}

TEST(SearchComp, ComparisonsOnOneValue)
{
    EXPECT_TRUE(search_comp("Blue Widget", ":widget"));
    EXPECT_TRUE(search_comp("Blue Widget", "widget"));  // ":" by default
    EXPECT_FALSE(search_comp("Blue Widget", ":gadget"));
    EXPECT_TRUE(search_comp("blue", "=Blue"));
    EXPECT_FALSE(search_comp("blue", "=Blu"));
    EXPECT_TRUE(search_comp("10", ">5"));
    EXPECT_FALSE(search_comp("2.5", ">5"));
    EXPECT_TRUE(search_comp("2.5", "<5"));
    EXPECT_TRUE(search_comp("call", "<1"));  // no number reads as 0
    EXPECT_TRUE(search_comp("Garden tools, sale", "%tools"));
    EXPECT_FALSE(search_comp("Toolset", "%tool"));
    EXPECT_TRUE(search_comp("Toolset", "[tool"));
    EXPECT_TRUE(search_comp("Toolset", "]set"));
    EXPECT_FALSE(search_comp("Toolset", "]tool"));
    EXPECT_TRUE(search_comp("Garden", "^gar"));
    EXPECT_FALSE(search_comp("Garden", "^den"));
    EXPECT_TRUE(search_comp("Garden", "$den"));
    // Non-word comparisons squeeze punctuation out of the term, not out of
    // the value.
    EXPECT_TRUE(search_comp("X100", ":x-100"));
    EXPECT_FALSE(search_comp("Model X-100", ":x100"));
    // A quoted phrase stays one term; word comparisons keep its blank.
    EXPECT_TRUE(search_comp("big box store", "%\"big box\""));
    EXPECT_FALSE(search_comp("big boxes", "%\"big box\""));
    EXPECT_FALSE(search_comp("anything", ""));
    EXPECT_FALSE(search_comp("", ":x"));
}

TEST(SearchComp, LogicCharactersCombineTerms)
{
    EXPECT_TRUE(search_comp("red", "red blue"));
    EXPECT_TRUE(search_comp("red blue", "+red +blue"));
    EXPECT_FALSE(search_comp("red", "+red +blue"));
    EXPECT_FALSE(search_comp("red blue", "red -blue"));
    EXPECT_TRUE(search_comp("red", "red -blue"));
    EXPECT_FALSE(search_comp("green", "-blue"));  // nothing scored
    EXPECT_TRUE(search_comp("red", "*red"));
}

// ---- product information ---------------------------------------------------------

TEST_F(ProductTokens, CurrentProductFields)
{
    fill_cart();
    EXPECT_EQ(ovmlsub("[%OVI_NAME]"), "[]");  // no current product yet
    var *a = get_product("A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(current_product(a), a);
    EXPECT_EQ(current_product(nullptr), a);
    EXPECT_EQ(ovmlsub("%OVI_NAME: %OVI_PRICE x %OVI_QUANTITY = %OVI_TOTAL_PRICE (%OVI_TOTAL_WEIGHT kg)"),
              "Blue Widget: 2.50 x 3 = 7.50 (4.50 kg)");
    // The price is kept as a number in the record from now on.
    EXPECT_EQ(get_product_field(a, "PRICE")->value->type, TYPE_FLOAT);
    EXPECT_EQ(ovmlsub("[%OVI_CHECKED|%OVI_SELECTED|%OVI_NOPE]"), "[CHECKED]");
    EXPECT_EQ(get_OVML_DBREF_Info(nullptr, "SELECTED"), "SELECTED");
    // A field is never the record's own head, even when named like it.
    EXPECT_EQ(get_OVML_DBREF_Info("A", "A"), "");

    set_current_product(get_product("C"));
    EXPECT_EQ(ovmlsub("%OVI_PRICE"), "0.00");
    set_integer(DICT_SELECTED, "C", 0);
    EXPECT_EQ(ovmlsub("[%OVI_CHECKED]"), "[]");
    EXPECT_EQ(ovmlsub("%OVI_QUANTITY"), "0");
}

TEST_F(ProductTokens, QuantityOfNamedProducts)
{
    fill_cart();
    // A loaded product's own QUANTITY field is its text.
    set_integer(get_product("B"), "QUANTITY", 4);
    EXPECT_EQ(get_OVML_DBREF_Info("B", "QUANTITY"), "4");
    // Not loaded: the cart quantity, and nothing else.
    set_integer(DICT_SELECTED, "D", 5);
    EXPECT_EQ(get_OVML_DBREF_Info("D", "QUANTITY"), "5");
    EXPECT_EQ(get_OVML_DBREF_Info("D", "NAME"), "");
    // Not in the cart: the unselected-quantity text.
    EXPECT_EQ(get_OVML_DBREF_Info("E", "QUANTITY"), "0");
    EXPECT_EQ(get_OVML_DBREF_Info(nullptr, "QUANTITY"), "0");
}

TEST_F(ProductTokens, UnselectedQuantityTextIsReadOnce)
{
    set_string(DICT_CONFIG, "UNSELECTED_QUANTITY", "blank");
    EXPECT_EQ(get_OVML_DBREF_Info("X", "QUANTITY"), "");
    set_string(DICT_CONFIG, "UNSELECTED_QUANTITY", "-");
    EXPECT_EQ(get_OVML_DBREF_Info("X", "QUANTITY"), "");  // already decided
    reset_token_state();
    EXPECT_EQ(get_OVML_DBREF_Info("X", "QUANTITY"), "-");
    set_string(DICT_CONFIG, "UNSELECTED_QUANTITY", "Empty");
    reset_token_state();
    EXPECT_EQ(get_OVML_DBREF_Info("X", "QUANTITY"), "");
    set_string(DICT_CONFIG, "UNSELECTED_QUANTITY", "");
    reset_token_state();
    EXPECT_EQ(get_OVML_DBREF_Info("X", "QUANTITY"), "");
}

TEST_F(ProductTokens, CurrentProductIsForgottenWithItsDictionary)
{
    fill_cart();
    set_current_product(get_product("A"));
    Orvel_deinitialize();
    Orvel_initialize();
    EXPECT_EQ(current_product(nullptr), nullptr);
    EXPECT_EQ(ovmlsub("[%OVI_NAME]"), "[]");
    // The same SKUID loaded again is found again.
    add_product("A", {{"NAME", "New A"}});
    EXPECT_EQ(ovmlsub("[%OVI_NAME]"), "[New A]");
}

TEST_F(ProductTokenLogs, ObsoleteAndDeprecatedFieldsAreReported)
{
    fill_cart();
    set_current_product(get_product("A"));
    EXPECT_EQ(ovmlsub("%OVI_CODE %OVI_COST %OVI_TOTAL"), "A 2.50 7.50");
    const std::string errors = dir.read("orvel.err");
    EXPECT_NE(errors.find(": OBSOLETE: %OVI_CODE token; use %OVI_SKUID!\n"), std::string::npos) << errors;
    EXPECT_NE(errors.find(": OBSOLETE: %OVI_COST token; use %OVI_PRICE!\n"), std::string::npos) << errors;
    EXPECT_NE(dir.read("orvel.dep").find(": deprecated: %OVI_TOTAL token; use %OVI_TOTAL_PRICE instead.\n"),
              std::string::npos);
}

TEST_F(ProductTokens, GroupQuantitiesMatchWholeWords)
{
    add_product("T1", {{"GROUP", "Garden tools, sale"}});
    add_product("T2", {{"GROUP", "Toolset"}});
    add_product("T3", {{"GROUP", "TOOLS"}});
    set_integer(DICT_SELECTED, "T1", 2);
    set_integer(DICT_SELECTED, "T2", 4);
    set_integer(DICT_SELECTED, "T3", 1);
    EXPECT_EQ(ovmlsub("%OVG_TOOLS %OVG_SALE %OVG_GARDEN_TOOLS"), "3 2 0");
}

// ---- the form special ----------------------------------------------------------

TEST_F(ProductTokens, FormSpecialNamesQuantityInputs)
{
    set_integer(DICT_SELECTED, "W1", 2);
    EXPECT_EQ(render_OVML_Specials("<input type=text ORVEL_PRODUCT=abc size=3>"),
              "<input type=text NAME=\"PRODUCT_ABC\" VALUE=\"0\" size=3>");
    EXPECT_EQ(render_OVML_Specials("<input orvel_product=\"w1\">"), "<input NAME=\"PRODUCT_W1\" VALUE=\"2\">");
    EXPECT_EQ(render_OVML_Specials("<input ORVEL_PRODUCT=w1>"), "<input NAME=\"PRODUCT_W1\" VALUE=\"2\">");
    // Several on one line each get their own name and value.
    EXPECT_EQ(render_OVML_Specials("<input ORVEL_PRODUCT=w1><input Orvel_Product=\"x2\" size=2>"),
              "<input NAME=\"PRODUCT_W1\" VALUE=\"2\"><input NAME=\"PRODUCT_X2\" VALUE=\"0\" size=2>");
    // A quoted SKUID also ends at a blank.
    EXPECT_EQ(render_OVML_Specials("ORVEL_PRODUCT=\"ab c\""), "NAME=\"PRODUCT_AB\" VALUE=\"0\" c\"");
    EXPECT_FALSE(render_OVML_Specials("<input name=ORVEL_PRODUCT>"));
    EXPECT_FALSE(render_OVML_Specials(""));
}

TEST_F(ProductTokens, FormSpecialWithBlankUnselectedQuantity)
{
    set_string(DICT_CONFIG, "UNSELECTED_QUANTITY", "BLANK");
    EXPECT_EQ(render_OVML_Specials("<input ORVEL_PRODUCT=abc>"), "<input NAME=\"PRODUCT_ABC\" VALUE=\"\">");
}

}  // namespace
