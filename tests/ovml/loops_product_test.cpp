// Product loops: the cart, chosen products, pickups, matches and optioned
// variants; their counters, order attributes, bounds and padding, the body
// file, nesting, and the deprecated item list.
#include "loops_support.h"

#include "catalog/selection.h"

#include <algorithm>

using namespace loops_test;

namespace {

class LoopProducts : public LoopTest {
protected:
    LoopProducts() {
        add_product("A", "Apple", "1.00");
        add_product("B", "Banana", "3.00");
        add_product("C", "Cherry", "2.00");
        add_product("D", "Date", "9.50");
    }
    void fill_cart() {
        select("A", 2);
        select("B", 1);
        select("C", 5);
        select("D", 1);
    }
};

class LoopProductFiles : public LoopFilesTest {};

}  // namespace

TEST_F(LoopProducts, CartPassesInOrderAndRestoreCountersAndCurrentProduct) {
    fill_cart();
    set_integer(DICT_ORVEL, "PRODUCT_LOOP_COUNT", 7);
    set_integer(DICT_ORVEL, "MATCHES_LOOP_COUNT", 10);
    set_current_product(get_product("B"));
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED>%OVH_PRODUCT_LOOP_COUNT/%OVH_MATCHES_LOOP_COUNT:"
                     "%OVI_NAME x%OVI_QUANTITY;</ORVEL_LOOP>"),
              "1/10:Apple x2;2/11:Banana x1;3/12:Cherry x5;4/13:Date x1;");
    EXPECT_EQ(orvel("PRODUCT_LOOP_COUNT"), "7");
    EXPECT_EQ(orvel("MATCHES_LOOP_COUNT"), "10");
    EXPECT_EQ(orvel("PRODUCT_LOOP_TOTAL"), "4");
    EXPECT_EQ(current_product_skuid(), "B");
}

TEST_F(LoopProducts, SortChoicesAndBounds) {
    fill_cart();
    // The three most expensive cart lines.
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED SORT=-PRICE MAX=3>%OVI_SKUID</ORVEL_LOOP>"), "DBC");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED SORT=+name>%OVI_SKUID</ORVEL_LOOP>"), "ABCD");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED SORT=PRICE REVERSED>%OVI_SKUID</ORVEL_LOOP>"), "DBCA");
    EXPECT_EQ(orvel("PRODUCT_LOOP_TOTAL"), "4");

    std::string picked = render("<ORVEL_LOOP TYPE=SELECTED SIZE=50%>%OVI_SKUID</ORVEL_LOOP>");
    ASSERT_EQ(picked.size(), 2u);
    EXPECT_NE(picked[0], picked[1]);
    std::string all = render("<ORVEL_LOOP TYPE=SELECTED SCRAMBLED=1>%OVI_SKUID</ORVEL_LOOP>");
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, "ABCD");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED SIZE=0>x</ORVEL_LOOP>"), "");
}

TEST_F(LoopProducts, EmptyCartAndPaddingRows) {
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED>x</ORVEL_LOOP>"), "");
    EXPECT_EQ(orvel("PRODUCT_LOOP_TOTAL"), "0");
    // SRC is upper-cased and split with runs of ';' as one; padding rows
    // have no current product.
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=PRODUCTS SRC=\"a;b;;c\" MIN=5>"
                     "%OVH_PRODUCT_LOOP_COUNT[%OVI_NAME]</ORVEL_LOOP>"),
              "1[Apple]2[Banana]3[Cherry]4[]5[]");
    EXPECT_EQ(orvel("PRODUCT_LOOP_TOTAL"), "5");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=PRODUCTS SRC=a MIN=5 MAX=3>[%OVI_NAME]</ORVEL_LOOP>"), "[Apple][][]");
}

TEST_F(LoopProducts, ChosenProductsCarryTheirCartQuantity) {
    select("B", 4);
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=PRODUCT SRC=\"b;c\">%OVI_SKUID=%OVI_QUANTITY;</ORVEL_LOOP>"), "B=4;C=0;");
}

TEST_F(LoopProducts, NestedLoopsKeepTheOuterCounterAndProduct) {
    select("A", 1);
    select("B", 1);
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED>%OVI_SKUID<ORVEL_LOOP TYPE=PRODUCTS SRC=\"C;D\">"
                     "(%OVI_SKUID%OVH_PRODUCT_LOOP_COUNT)</ORVEL_LOOP>%OVH_PRODUCT_LOOP_COUNT%OVI_SKUID;"
                     "</ORVEL_LOOP>"),
              "A(C1)(D2)1A;B(C1)(D2)2B;");
    EXPECT_EQ(orvel("PRODUCT_LOOP_TOTAL"), "2");

    // A loop of another kind inside stays in the body and runs once per
    // outer pass.
    add_unnamed_string(DICT_NOTES, "n");
    EXPECT_EQ(render_OVML_Text(OVMLText::from_string("<ORVEL_LOOP TYPE=SELECTED>\n%OVI_SKUID\n"
                                                     "<orvel-loop type=notes>[%OVH_NOTE]</orvel_loop>\n"
                                                     "</ORVEL_LOOP>\n")),
              "A\n[n]B\n[n]");
}

TEST_F(LoopProducts, PickupsMatchesAndOptionedVariants) {
    set_none(DICT_PICKUPS, "C");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=PICKUPS>%OVI_NAME</ORVEL_LOOP>"), "Cherry");

    set_integer(DICT_MATCHES, "D", 90);
    set_integer(DICT_MATCHES, "A", 40);
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=MATCHES>%OVI_SKUID%OVI_SEARCH_SCORE;</ORVEL_LOOP>"), "D90;A40;");

    var *sizes = add_dict(DICT_OPTIONS, "SIZES");
    set_string(sizes, "S", "+0");
    set_string(sizes, "L", "+2 @ Large");
    add_product("SHIRT-S", "Shirt (small)", "10");
    add_product("SHIRT-L", "Shirt (Large)", "12");
    select("SHIRT-L", 2);
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=OPTIONED BASE=shirt GROUP=sizes>%OVI_NAME x%OVI_QUANTITY;</ORVEL_LOOP>"),
              "Shirt (small) x0;Shirt (Large) x2;");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=OPTIONED GROUP=sizes>x</ORVEL_LOOP>"), "<!-- Invalid BASE or options GROUP. -->");
}

TEST_F(LoopProducts, QueryNeedsASpec) {
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=QUERY MAXHITS=3>x</ORVEL_LOOP>"), "<!-- Missing SPEC field for QUERY loop. -->");
    EXPECT_EQ(orvel("ERROR"), "Missing SPEC field for QUERY loop.");
}

TEST_F(LoopProductFiles, BodyFileReplacesTheBody) {
    add_product("A", "Apple", "1");
    select("A", 1);
    set_string(DICT_CONFIG, "DOC_DIR", dir.path());
    dir.write("row.html", "<td>%OVI_NAME</td>\n");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED BODY=row.html>inline</ORVEL_LOOP>"), "<td>Apple</td>\n");
    // An unreadable file leaves an empty body; an unsafe name is ignored.
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED BODY=none.html>inline</ORVEL_LOOP>"), "");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=SELECTED BODY=../row.html>inline</ORVEL_LOOP>"), "inline");
}

TEST_F(LoopProductFiles, ItemListIsTheCartLoopAndIsReported) {
    add_product("B", "Banana", "3");
    add_product("A", "Apple", "1");
    select("B", 1);
    select("A", 1);
    EXPECT_EQ(render("<ORVEL_ITEM_LIST SORT=NAME MAX=1>%OVI_NAME;</ORVEL_ITEM_LIST>"), "Banana;Apple;");
    EXPECT_NE(deprecations().find(": deprecated: <ORVEL_ITEM_LIST>; use <ORVEL_LOOP TYPE=SELECTED> instead.\n"),
              std::string::npos);
}
