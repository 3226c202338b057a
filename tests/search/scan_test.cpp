// The scanner: reading and normalising one line, and whole scans over a
// products file and a delimited table (ranks, exclusion, limits, the first
// page loaded, the stop offset).
#include "search_test_util.h"

#include "platform/log.h"

#include <cstdio>

using namespace search_test;

namespace {

struct Scanned {
    int code;
    std::string field, text;
    int type;
    double number;
};

// Every line of `text` as get_search_line reads it.
std::vector<Scanned> scan_lines(const std::string &text, bool word_mode) {
    std::vector<Scanned> out;
    FILE *f = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    SearchLine line;
    for (;;) {
        const int code = get_search_line(f, line, word_mode);
        if (code == SEARCH_LINE_EOF) break;
        out.push_back({code, line.field, line.text, line.type, line.number});
    }
    std::fclose(f);
    return out;
}

Scanned first_line(const std::string &text, bool word_mode) {
    const std::vector<Scanned> lines = scan_lines(text, word_mode);
    return lines.empty() ? Scanned{-1, "", "", -1, 0} : lines.front();
}

const char *const TEAS = "# the tea shelf\n"
                         "SKUID: t-1\n"
                         "NAME: Green tea\n"
                         "GROUP: tea\n"
                         "PRICE: 4.50\n"
                         "SKUID: t-2\n"
                         "NAME: Black tea\n"
                         "NAME: Green label\n"
                         "GROUP: tea\n"
                         "PRICE: 5\n"
                         "SKUID: c-1\n"
                         "NAME: Green coffee\n"
                         "GROUP: coffee\n"
                         "SKUID: t-3\n"
                         "NAME: Green tea, large\n"
                         "DESCRIPTION: green green\n"
                         "PRICE: $9\n"
                         "SKUID: t-4\n"
                         "GROUP: tea\n"
                         "NAME: Green jasmine tea";  // no line end at the end

}  // namespace

TEST(SearchLineReader, NamesKeepLettersDigitsDashAndUnderscore) {
    Scanned s = first_line("Unit Price-2_x (gbp): 12\n", false);
    EXPECT_EQ(s.code, SEARCH_LINE_FIELD);
    EXPECT_EQ(s.field, "UNITPRICE-2_XGBP");
    EXPECT_EQ(s.type, SEARCH_TYPE_NUMERIC);
    EXPECT_EQ(first_line("# NAME: x\n", false).code, SEARCH_LINE_NONE);
    EXPECT_EQ(first_line("NA#ME: x\n", false).code, SEARCH_LINE_NONE);
    EXPECT_EQ(first_line("no colon here\n", false).code, SEARCH_LINE_NONE);
    EXPECT_EQ(first_line(std::string(127, 'A') + ": x\n", false).code, SEARCH_LINE_FIELD);
    EXPECT_EQ(first_line(std::string(128, 'A') + ": x\n", false).code, SEARCH_LINE_NONE);
    // CR LF: the CR ends the line, the LF is an empty line.
    const std::vector<Scanned> lines = scan_lines("NAME: a\r\nPRICE: 1\r\n", false);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].code, SEARCH_LINE_NONE);
    EXPECT_EQ(lines[2].field, "PRICE");
    // The file's last line without a line end.
    EXPECT_EQ(first_line("NAME: a", false).code, SEARCH_LINE_LAST);
}

TEST(SearchLineReader, AnyNameWithSKUIDInOrderIsTheProductId) {
    for (const char *name : {"SKUID", "SKU_ID", "SKUIDS", "STOCK_UNIT_ID", "sku-id"})
        EXPECT_EQ(first_line(std::string(name) + ": a-1\n", false).code, SEARCH_LINE_ID) << name;
    for (const char *name : {"KSUID", "SKUD", "XSKUID", "SKIUD"})
        EXPECT_EQ(first_line(std::string(name) + ": a-1\n", false).code, SEARCH_LINE_FIELD) << name;
    // The id keeps its punctuation (upper-cased) and is text even when it
    // reads as a number.
    Scanned s = first_line("SKUID:  ab-1 x  \n", false);
    EXPECT_EQ(s.text, "AB-1 X");
    EXPECT_EQ(s.type, SEARCH_TYPE_TEXT);
    s = first_line("SKUID: 123\n", false);
    EXPECT_EQ(s.type, SEARCH_TYPE_TEXT);
    EXPECT_EQ(s.number, 123);
}

TEST(SearchLineReader, SqueezeAndKeepModesNormaliseValues) {
    // Squeeze mode: the hyphen goes and the parts run together.
    EXPECT_EQ(first_line("NAME: Tea-pot, large\n", false).text, "TEAPOTLARGE");
    EXPECT_EQ(first_line("NAME: Tea-pot, large\n", true).text, "TEA-POT, LARGE");
    // A space after the colon is text in keep mode, numeric in squeeze mode.
    Scanned squeezed = first_line("PRICE: 12.50\n", false);
    EXPECT_EQ(squeezed.type, SEARCH_TYPE_NUMERIC);
    EXPECT_DOUBLE_EQ(squeezed.number, 12.5);
    Scanned kept = first_line("PRICE: 12.50\n", true);
    EXPECT_EQ(kept.type, SEARCH_TYPE_TEXT);
    EXPECT_EQ(kept.number, 0);
    EXPECT_EQ(first_line("PRICE:12.50\n", true).type, SEARCH_TYPE_NUMERIC);
    // Currency signs, minus signs and separators make text worth 0.
    for (const char *price : {"$12", "-3", "1,200"}) {
        Scanned s = first_line(std::string("PRICE: ") + price + "\n", false);
        EXPECT_EQ(s.type, SEARCH_TYPE_TEXT) << price;
        EXPECT_EQ(s.number, 0) << price;
    }
    // Blanks inside a number are squeezed out.
    EXPECT_EQ(first_line("PRICE: 1 000\n", false).type, SEARCH_TYPE_NUMERIC);
    EXPECT_EQ(first_line("PRICE:\n", false).type, SEARCH_TYPE_NONE);
}

TEST(SearchLineReader, CommentsEndValuesUnlessEscaped) {
    EXPECT_EQ(first_line("NAME: Box  # a comment\n", true).text, "BOX");
    EXPECT_EQ(first_line("NOTE: a \\#2 box\n", true).text, "A \\#2 BOX");
    EXPECT_EQ(first_line("NOTE: a \\#2 box\n", false).text, "A2BOX");
    // Values are cut at 8191 characters; the rest of the line is dropped.
    const std::vector<Scanned> lines = scan_lines("NAME: " + std::string(9000, 'x') + "\nPRICE: 2\n", false);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text.size(), SEARCH_VALUE_MAX);
    EXPECT_EQ(lines[1].field, "PRICE");
}

TEST_F(SearchTest, RanksAddUpOverAProductsLines) {
    products(TEAS);
    EXPECT_EQ(search("?NAME:GREEN ?DESCRIPTION:GREEN"), "T-1:1 T-2:1 C-1:1 T-3:2 T-4:1");
    config("SEARCH_WEIGHT_NAME", "10");
    EXPECT_EQ(search("?NAME:GREEN ?DESCRIPTION:GREEN ?GROUP=TEA"), "T-1:11 T-2:11 C-1:10 T-3:11 T-4:11");
}

TEST_F(SearchTest, EveryLineOfAFieldMustPassARequiredTerm) {
    products(TEAS);
    // T-2 has a NAME line without TEA; C-1 lacks it too.
    EXPECT_EQ(search("+NAME:TEA"), "T-1:1 T-3:1 T-4:1");
    // A product without the field at all is dropped; T-4's GROUP comes
    // before its NAME and still counts.
    EXPECT_EQ(search("+GROUP=TEA ?NAME:JASMINE"), "T-1:1 T-2:1 T-4:2");
    EXPECT_EQ(search("+DESCRIPTION:GREEN"), "T-3:1");
    // An excluding term needs the field to be there to exclude.
    EXPECT_EQ(search("?NAME:GREEN -GROUP=TEA"), "C-1:1 T-3:1");
    // A dollar price is text worth 0.
    EXPECT_EQ(search("+PRICE>4"), "T-1:1 T-2:1");
}

TEST_F(SearchTest, GroupedWordsNeedOneFieldEach) {
    products(TEAS);
    EXPECT_EQ(search("*NAME:GREEN *DESCRIPTION:GREEN *NAME:LARGE *DESCRIPTION:LARGE"), "T-3:3");
    EXPECT_EQ(search("*NAME:JASMINE *GROUP:JASMINE *NAME:TEA *GROUP:TEA"), "T-4:3");
}

TEST_F(SearchTest, WordModeKeepsPunctuationForTheWholeQuery) {
    products("SKUID: a\nNAME: Tea-pot\nPRICE: 3\nSKUID: b\nNAME: Teapot\nPRICE:3\n");
    EXPECT_EQ(search("?NAME:TEAPOT"), "A:1 B:1");
    EXPECT_EQ(search("?NAME%TEA-POT"), "A:1");
    // Word mode makes "PRICE: 3" text, so only B's price compares.
    EXPECT_EQ(search("+PRICE>2 ?NAME[TEA"), "B:2");
}

TEST_F(SearchTest, AllProductsAndSkuIdVariants) {
    products("NAME: before any product\nSKUID: a\nSKU_ID: b\nSKUIDS: c\nSKUID:\nNAME: x\n");
    // Each id line begins a product; an empty id is never a match.
    EXPECT_EQ(search("+SKUID["), "A:1");
    EXPECT_EQ(search("?SKU_ID["), "B:1");
    EXPECT_EQ(search("?NAME:X ?NAME:BEFORE"), "");
}

TEST_F(SearchTest, APageSizeStopsTheScanUnlessCollectingAll) {
    std::string text;
    for (int i = 1; i <= 12; ++i) text += "SKUID: p" + std::to_string(i) + "\nNAME: tea " + std::to_string(i) + "\n";
    products(text);
    SearchQueryPtr q = new_search_query("?NAME:TEA", 5, false);
    EXPECT_EQ(doSearch(q.get()), 5);
    EXPECT_EQ(matches(q.get()), "P1:1 P2:1 P3:1 P4:1 P5:1");
    EXPECT_EQ(q->total, 5);
    // The scan stopped at P6's id line, having read no further.
    EXPECT_EQ(q->offset, text.find("SKUID: p6"));
    // The first page was loaded, nothing after it.
    EXPECT_NE(get_product("P5"), nullptr);
    EXPECT_EQ(get_product("P6"), nullptr);

    // Collect-all goes on to the end, the last product included, but loads
    // one page only.
    q = new_search_query("?NAME:TEA", -5, false);
    EXPECT_EQ(doSearch(q.get()), 12);
    EXPECT_EQ(value_view(q->ids->items[11]), "P12");
    EXPECT_EQ(get_product("P7"), nullptr);
    var *p5 = get_product("P5");
    ASSERT_NE(p5, nullptr);
    EXPECT_EQ(value_view(get_var(p5, "NAME")->value), "tea 5");

    // The match limit stops a collect-all scan too.
    config("SEARCH_MOST_MATCHES", "8");
    q = new_search_query("?NAME:TEA", -5, false);
    EXPECT_EQ(doSearch(q.get()), 8);
}

TEST_F(SearchTest, AnOverlongProductResetsItsFieldTable) {
    dir.write("orvel.err", "");
    config("ORVEL_ERROR_LOG", dir.path() + "/orvel.err");
    reset_log_state();
    std::string text = "SKUID: big\nNAME: tea\n";
    for (int i = 0; i < 800; ++i) text += "FIELD_NUMBER_" + std::to_string(i) + ": x\n";
    text += "GROUP: tea\n";
    products(text);
    // The NAME recorded early is forgotten with the table.
    EXPECT_EQ(search("+NAME:TEA ?GROUP:TEA"), "");
    EXPECT_EQ(search("+GROUP:TEA"), "BIG:1");
    EXPECT_NE(dir.read("orvel.err").find("warning! resetting search field table."), npos);
    reset_log_state();
}

TEST_F(SearchTest, DelimitedTablesAreSearchedRowByRow) {
    config("PRODUCTS_FILE_DELIMITER", "9");
    products("SKUID\tNAME\tPRICE\t\"GROUP\"\n"
             "t-1\tGreen tea\t$4.50\ttea\n"
             "\"c-1\"\tGreen coffee\t9\tcoffee\r\n"
             "\tno id\t1\ttea\n"
             "t-2\tBlack tea\t12\t\"tea\"\n");
    EXPECT_EQ(search("?NAME:GREEN"), "t-1:1 c-1:1");
    EXPECT_EQ(search("+GROUP=TEA ?PRICE>5"), "t-1:1 t-2:2");
    EXPECT_EQ(search("+SKUID^T"), "t-1:1 t-2:1");
}

TEST_F(SearchTest, AMissingProductsFileEndsTheRequest) {
    EXPECT_EXIT(
        {
            search("?NAME:X");
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
}
