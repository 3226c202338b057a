// Text shaping and product elements: COMMENT, WRAP, TWEAK, CURRENT, INFO.
#include "ovml_support.h"

#include "catalog/products.h"
#include "support/cgi_harness.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace {

class ElementText : public ovml_test::OVMLTest {
protected:
    ElementText()
    {
        set_current_product(nullptr);
        catalog.write("products.txt", "SKUID: c\nNAME: Cherry\nPRICE: 3\n");
        set_string(DICT_CONFIG, "CAT_DIR", catalog.path());
    }
    ~ElementText() override { set_current_product(nullptr); }

    // A product record as the loader stores it.
    void add_product(const std::string &skuid, std::initializer_list<std::pair<const char *, const char *>> fields)
    {
        var *record = new_var(skuid.c_str());
        var_value_set(record, TYPE_STRING, dup_cstring(skuid));
        for (const auto &[name, text] : fields) set_string(record, name, text);
        set_var(DICT_PRODUCTS, skuid.c_str(), TYPE_VAR, record);
    }

    orvel_test::TempDir catalog;
};

TEST_F(ElementText, CommentKeepsItsBodyUnrendered)
{
    set_string(DICT_CONFIG, "X", "rendered");
    EXPECT_EQ(render_OVML_String("<ORVEL_COMMENT>%OVM_X</ORVEL_COMMENT>"), "%OVM_X");
    EXPECT_EQ(render_OVML_Text(OVMLText::from_string(
                  "a\n<ORVEL_COMMENT>\n<ORVEL_MATH VALUE=1 RESULT=M> %OVM_X\n</ORVEL_COMMENT>\nb\n")),
              "a\n<ORVEL_MATH VALUE=1 RESULT=M> %OVM_X\nb\n");
    EXPECT_FALSE(var_defined(DICT_VARIABLES, "M"));
    EXPECT_EQ(render_OVML_String("<ORVEL_COMMENT DELETE=1>%OVM_X</ORVEL_COMMENT>"), "");
}

TEST_F(ElementText, WrapBreaksItsRenderedBody)
{
    set_string(DICT_VARIABLES, "W", "alpha beta gamma delta");
    EXPECT_EQ(render_OVML_String("<ORVEL_WRAP WRAPCOL=12>%OVV_W</ORVEL_WRAP>"), "alpha beta\ngamma delta");
    EXPECT_EQ(render_OVML_String("<ORVEL_WRAP WRAPCOL=12 PREFIX=\"> \" POSTFIX=\"|\">%OVV_W</ORVEL_WRAP>"),
              "> alpha beta|\n> gamma delta|");
    // FIXWIDTH pads broken lines with PADCHAR, else with the tweak PADCHAR.
    EXPECT_EQ(render_OVML_String("<ORVEL_WRAP WRAPCOL=12 FIXWIDTH=1 PADCHAR=.>%OVV_W</ORVEL_WRAP>"),
              "alpha beta.\ngamma delta");
    render_OVML_String("<ORVEL_TWEAK PADCHAR=\"*\" ROUNDSUMS=1>");
    EXPECT_EQ(var_string(DICT_TWEAKS, "PADCHAR"), "*");
    EXPECT_EQ(var_string(DICT_TWEAKS, "ROUNDSUMS"), "1");
    EXPECT_EQ(render_OVML_String("<ORVEL_WRAP WRAPCOL=12 FIXWIDTH=1>%OVV_W</ORVEL_WRAP>"), "alpha beta*\ngamma delta");
}

TEST_F(ElementText, CurrentChoosesTheProductThatTokensRead)
{
    add_product("A", {{"NAME", "Apple"}, {"PRICE", "1.5"}});
    add_product("B", {{"NAME", "Banana"}, {"PRICE", "2"}});
    render_OVML_String("<ORVEL_CURRENT VALUE=a>");
    EXPECT_EQ(render_OVML_String("%OVI_NAME"), "Apple");
    // A SKUID the catalog does not have leaves the current product alone.
    render_OVML_String("<ORVEL_CURRENT VALUE=zz>");
    EXPECT_EQ(render_OVML_String("%OVI_NAME"), "Apple");
    // One not loaded yet comes from the products file.
    render_OVML_String("<ORVEL_CURRENT VALUE=c>");
    EXPECT_EQ(render_OVML_String("%OVI_NAME"), "Cherry");

    set_integer(DICT_SELECTED, "A", 1);
    set_integer(DICT_SELECTED, "B", 3);
    render_OVML_String("<ORVEL_CURRENT LASTADDED=1>");
    EXPECT_EQ(render_OVML_String("%OVI_NAME"), "Banana");
    render_OVML_String("<ORVEL_CURRENT FIRSTADDED=1>");
    EXPECT_EQ(render_OVML_String("%OVI_NAME"), "Apple");
}

TEST_F(ElementText, InfoReadsAnyProduct)
{
    add_product("B", {{"NAME", "Banana"}, {"PRICE", "2"}});
    set_integer(DICT_SELECTED, "B", 3);
    EXPECT_EQ(render_OVML_String("<ORVEL_INFO SKUID=b FIELD=name>"), "Banana");
    EXPECT_EQ(render_OVML_String("<ORVEL_INFO SKUID=b FIELD=total_price>"), "6.00");
    EXPECT_EQ(render_OVML_String("<ORVEL_INFO SKUID=c FIELD=price>"), "3.00");
    // Without SKUID: the current product.
    render_OVML_String("<ORVEL_CURRENT VALUE=b>");
    EXPECT_EQ(render_OVML_String("<ORVEL_INFO FIELD=name>"), "Banana");
}

}  // namespace
