// Query input in-process: reading the raw query (GET, POST, both), field
// splitting and filing, the special fields, decoding and encoding, batch
// rows, multi-valued fields, forbidden fields, and the cart accessors the
// query writes through.
#include "catalog/selection.h"
#include "cgi/query.h"
#include "config/config.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include "cgi_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace orvel_test;

namespace {

class Query : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("orvel.err", "");  // switch the error log on
        reset_log_state();
        Option_Code_Delimiter = '-';
    }
    void TearDown() override {
        Option_Code_Delimiter = '-';
        reset_log_state();
    }

    // Runs fill_query on a GET request with this query string.
    void parse(const std::string &query) {
        CgiEnvironment::set("REQUEST_METHOD", "GET");
        CgiEnvironment::set("QUERY_STRING", query);
        fill_query();
    }
    static std::string shopper(const char *name) { return std::string(var_string(DICT_SHOPPER, name)); }
    static std::string input(const char *name) { return std::string(var_string(DICT_INPUT, name)); }
    static std::string arg(const char *name) { return std::string(var_string(DICT_ARGS, name)); }
    std::string error_log() const { return dir.read("orvel.err"); }

    FreshDictionaries dicts;
    CgiEnvironment env;
    TempDir dir;
    WorkingDirectory cwd{dir.path()};
};

using QueryDeathTest = Query;

}  // namespace

// ---- the raw query ---------------------------------------------------------

TEST_F(Query, NoRequestMethodMeansNoQueryWhateverElseIsSet) {
    CgiEnvironment::set("QUERY_STRING", "a=1");
    CgiEnvironment::set("CONTENT_LENGTH", "3");
    EXPECT_FALSE(get_query_string().has_value());
    fill_query();
    EXPECT_FALSE(var_defined(DICT_INPUT, "A"));
}

TEST_F(Query, WithoutContentLengthTheQueryStringIsTheQuery) {
    CgiEnvironment::set("REQUEST_METHOD", "GET");
    EXPECT_FALSE(get_query_string().has_value());
    CgiEnvironment::set("QUERY_STRING", "a=1&b=2");
    EXPECT_EQ(get_query_string(), "a=1&b=2");
    EXPECT_EQ(error_log(), "");

    CgiEnvironment::set("REQUEST_METHOD", "POST");
    EXPECT_EQ(get_query_string(), "a=1&b=2");
    EXPECT_NE(error_log().find(": POST content-length missing\n"), std::string::npos) << error_log();
}

TEST_F(Query, NegativeOrZeroContentLengthFallsBackToQueryString) {
    CgiEnvironment::set("REQUEST_METHOD", "POST");
    CgiEnvironment::set("QUERY_STRING", "q=1");
    CgiEnvironment::set("CONTENT_LENGTH", "-5");
    EXPECT_EQ(get_query_string(), "q=1");
    EXPECT_NE(error_log().find(": POST content-length invalid (-5)\n"), std::string::npos) << error_log();
    CgiEnvironment::set("CONTENT_LENGTH", "0");
    EXPECT_EQ(get_query_string(), "q=1");
    CgiEnvironment::unset("QUERY_STRING");
    EXPECT_FALSE(get_query_string().has_value());
}

TEST_F(Query, PostBodyAloneOrAfterTheQueryString) {
    CgiEnvironment::set("REQUEST_METHOD", "POST");
    CgiEnvironment::set("CONTENT_LENGTH", "9");
    {
        PipedStdin in("body=text");
        EXPECT_EQ(get_query_string(), "body=text");
    }
    CgiEnvironment::set("QUERY_STRING", "");
    {
        PipedStdin in("body=text");
        EXPECT_EQ(get_query_string(), "body=text");
    }
    CgiEnvironment::set("QUERY_STRING", "url=1");
    {
        PipedStdin in("body=text");
        EXPECT_EQ(get_query_string(), "url=1&body=text");
    }
}

TEST_F(Query, ContentLengthIsReadWhateverTheMethod) {
    CgiEnvironment::set("REQUEST_METHOD", "GET");
    CgiEnvironment::set("CONTENT_LENGTH", "3");
    PipedStdin in("x=1");
    EXPECT_EQ(get_query_string(), "x=1");
}

TEST_F(Query, LargeBodyArrivingInPiecesIsReadWhole) {
    std::string body = "action=checkout&name=Ann";
    for (int i = 0; i < 5000; ++i) body += "&row" + std::to_string(i) + "=" + std::string(30, 'v');
    body += "&last=end";
    ASSERT_GT(body.size(), 100000u);
    CgiEnvironment::set("REQUEST_METHOD", "POST");
    CgiEnvironment::set("CONTENT_LENGTH", std::to_string(body.size()));
    PipedStdin in(body, 1000);
    fill_query();
    EXPECT_EQ(shopper("ACTION"), "checkout");
    EXPECT_EQ(shopper("ROW4999"), std::string(30, 'v'));
    EXPECT_EQ(shopper("LAST"), "end");
    EXPECT_EQ(error_log(), "");
}

TEST_F(Query, NeverReadsPastTheAnnouncedLength) {
    CgiEnvironment::set("REQUEST_METHOD", "POST");
    CgiEnvironment::set("CONTENT_LENGTH", "7");
    PipedStdin in("a=1&b=2&c=3");
    EXPECT_EQ(get_query_string(), "a=1&b=2");
    EXPECT_EQ(PipedStdin::rest(), "&c=3");
}

TEST_F(Query, ShortBodyIsLoggedAndDiscarded) {
    CgiEnvironment::set("REQUEST_METHOD", "POST");
    CgiEnvironment::set("CONTENT_LENGTH", "100");
    CgiEnvironment::set("QUERY_STRING", "from=url");
    PipedStdin in("from=body&x=1");
    fill_query();
    EXPECT_EQ(shopper("FROM"), "url");
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "X"));
    EXPECT_NE(error_log().find(": POST request incomplete (13/100 bytes)\n"), std::string::npos) << error_log();
}

// ---- splitting and filing --------------------------------------------------

TEST_F(Query, NameRunsToTheFirstEqualsSign) {
    parse("x&action=view");
    EXPECT_EQ(shopper("X&ACTION"), "view");
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "ACTION"));
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "X"));
}

TEST_F(Query, FieldsAreDecodedAndNamesUpperCased) {
    parse("first+name=Ann+Lee&city=S%C3%A3o%20Paulo&empty=&a%2Bb=1");
    EXPECT_EQ(shopper("FIRST NAME"), "Ann Lee");
    EXPECT_EQ(shopper("CITY"), "S\xC3\xA3o Paulo");
    EXPECT_TRUE(var_defined(DICT_SHOPPER, "EMPTY"));
    EXPECT_EQ(shopper("A+B"), "1");
    EXPECT_EQ(input("CITY"), "S\xC3\xA3o Paulo");
}

TEST_F(Query, RepeatsJoinInInputAndLastWinsInShopper) {
    parse("color=red&Color=blue&COLOR=green");
    EXPECT_EQ(input("COLOR"), "red\x1e" "blue\x1e" "green");
    EXPECT_EQ(shopper("COLOR"), "green");
}

TEST_F(Query, EmptyStoredInputIsReplacedAndClientNeverJoins) {
    parse("a=&a=2&b=1&b=&client=11111111&client=22222222");
    EXPECT_EQ(input("A"), "2");
    EXPECT_EQ(input("B"), "1\x1e");
    EXPECT_EQ(input("CLIENT"), "22222222");
}

TEST_F(Query, FirstPlainActionWins) {
    parse("action=view&action=add");
    EXPECT_EQ(shopper("ACTION"), "view");
    EXPECT_EQ(input("ACTION"), "view\x1e" "add");
    // Any name beginning ACTION is dropped once ACTION is set.
    FreshDictionaries again;
    parse("action=view&actions=x");
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "ACTIONS"));
}

TEST_F(Query, AmpPrefixDropped) {
    parse("a=1&amp;b=2&AMP;c=3");
    EXPECT_EQ(shopper("B"), "2");
    EXPECT_EQ(shopper("C"), "3");
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "AMP;B"));
}

TEST_F(Query, ImageButtonCoordinatesBecomeOneField) {
    parse("go.x=5&go.y=7&ab.X=1&.y=2&n.z=3");
    EXPECT_EQ(shopper("GO"), "7");
    EXPECT_EQ(input("GO"), "5\x1e" "7");
    EXPECT_EQ(shopper("AB"), "1");
    EXPECT_EQ(shopper(".Y"), "2");  // too short to be a coordinate
    EXPECT_EQ(shopper("N.Z"), "3");
}

TEST_F(Query, NamesWithLineBreaksOrNulAreIgnored) {
    parse("a%0Ab=1&c%0D=2&d%00e=3&=4&ok=5");
    EXPECT_EQ(var_length(DICT_INPUT), 1);
    EXPECT_EQ(var_length(DICT_SHOPPER), 1);
    EXPECT_EQ(shopper("OK"), "5");
}

TEST_F(Query, ValueEndsAtDecodedNul) {
    parse("note=ab%00cd&x=1");
    EXPECT_EQ(shopper("NOTE"), "ab");
    EXPECT_EQ(shopper("X"), "1");
}

TEST_F(Query, EmptyQueryFilesNothing) {
    parse("");
    EXPECT_EQ(var_length(DICT_INPUT), 0);
    EXPECT_EQ(var_length(DICT_SHOPPER), 0);
}

TEST_F(Query, TrailingSeparatorEndsTheQuery) {
    parse("a=1&");
    EXPECT_EQ(var_length(DICT_INPUT), 1);
}

// ---- special fields ----------------------------------------------------------

TEST_F(Query, SubmitActionWithItemIsDecodedTwice) {
    parse("SUBMIT_ACTION_ADD_W%2541.x=5&SUBMIT_ACTION_ADD_W%2541.y=9");
    EXPECT_EQ(shopper("ACTION"), "ADD");
    EXPECT_EQ(shopper("ITEM"), "WA");
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "SUBMIT_ACTION_ADD_W%41"));
    EXPECT_EQ(input("SUBMIT_ACTION_ADD_W%41"), "5\x1e" "9");
}

TEST_F(Query, SubmitActionOutsideTheListKeepsItsText) {
    parse("SUBMIT_ACTION_checkout=Go");
    EXPECT_EQ(shopper("ACTION"), "checkout");
    var *item = get_var(DICT_SHOPPER, "ITEM");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->value->type, TYPE_NONE);

    FreshDictionaries again;
    parse("submit_action_detail=Go");
    EXPECT_EQ(shopper("ACTION"), "DETAIL");
    EXPECT_EQ(shopper("ITEM"), "");
}

TEST_F(Query, SubmitActionBeatsPlainActionsBeforeAndAfter) {
    parse("action=view&SUBMIT_ACTION_search_x=Go&action=add");
    EXPECT_EQ(shopper("ACTION"), "SEARCH");
    EXPECT_EQ(shopper("ITEM"), "x");
    FreshDictionaries again;
    parse("SUBMIT_ACTION_serve_a=1&SUBMIT_ACTION_return_b=2");
    EXPECT_EQ(shopper("ACTION"), "RETURN");
    EXPECT_EQ(shopper("ITEM"), "b");
}

TEST_F(Query, ProductFieldSelectsOne) {
    parse("product=abc&product=");
    EXPECT_EQ(get_selected_quantity("ABC"), 1);
    EXPECT_EQ(get_selected_products_string(), "ABC");
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "PRODUCT"));
}

TEST_F(Query, ProductQuantityFields) {
    parse("PRODUCT_abc=3&product_def=junk&product_ghi=&product_neg=-2");
    EXPECT_EQ(get_selected_quantity("ABC"), 3);
    EXPECT_TRUE(var_defined(DICT_SELECTED, "DEF"));
    EXPECT_EQ(get_selected_quantity("DEF"), 0);
    EXPECT_FALSE(var_defined(DICT_SELECTED, "GHI"));
    EXPECT_EQ(get_selected_quantity("NEG"), 0) << "quantities never go below zero";
    EXPECT_EQ(var_length(DICT_SHOPPER), 0);
}

TEST_F(Query, BlankProductQuantityRemovesWhenConfigured) {
    set_string(DICT_CONFIG, "BLANK_QUANTITY", "Remove item");
    set_selected_quantity("ABC", 4);
    parse("PRODUCT_abc=");
    EXPECT_TRUE(var_defined(DICT_SELECTED, "ABC"));
    EXPECT_EQ(get_selected_quantity("ABC"), 0);
}

TEST_F(Query, CheckedFieldsSelectAtLeastOne) {
    parse("CHECKED_abc=on&checked_def=4&checked_ghi=-2&checked_jkl=0");
    EXPECT_EQ(get_selected_quantity("ABC"), 1);
    EXPECT_EQ(get_selected_quantity("DEF"), 4);
    EXPECT_EQ(get_selected_quantity("GHI"), 1);
    EXPECT_EQ(get_selected_quantity("JKL"), 1);
    EXPECT_EQ(get_selected_products_string(), "ABC;DEF;GHI;JKL");
}

TEST_F(Query, OptionedProductsGatherTheirOptions) {
    parse("OPTIONED_SHIRT=red&optioned_shirt=xl&OPTIONED_QUANTITY_SHIRT=2&OPTIONED_hat=Blue&OPTIONED_cap=");
    EXPECT_EQ(get_selected_quantity("SHIRT-RED-XL"), 2);
    EXPECT_EQ(get_selected_quantity("HAT-BLUE"), 1);
    EXPECT_EQ(get_selected_products_string(), "SHIRT-RED-XL;HAT-BLUE");
    EXPECT_EQ(shopper("OPTIONED_QUANTITY_SHIRT"), "2");
    EXPECT_FALSE(var_defined(DICT_SHOPPER, "OPTIONED_SHIRT"));
}

TEST_F(Query, OptionedProductsUseTheConfiguredDelimiter) {
    Option_Code_Delimiter = '/';
    parse("OPTIONED_SHIRT=red&OPTIONED_SHIRT=xl");
    EXPECT_EQ(get_selected_quantity("SHIRT/RED/XL"), 1);
}

TEST_F(Query, OptionedTableIsForgottenAfterTheQuery) {
    parse("OPTIONED_SHIRT=red");
    EXPECT_EQ(query_hook(nullptr, nullptr), 1);
    EXPECT_EQ(get_selected_products_string(), "SHIRT-RED");
    EXPECT_EQ(query_hook("OPTIONED_SHIRT", "blue"), 1);
    query_hook(nullptr, nullptr);
    EXPECT_EQ(get_selected_products_string(), "SHIRT-RED;SHIRT-BLUE");
}

TEST_F(Query, ArgumentsBatchAndOrderIdFields) {
    parse("arg_note=hi&ARGH_Extra=x%26y&batch_product_1=abc&BATCH_QUANTITY_1=2&order_id=999&plain=1");
    EXPECT_EQ(arg("NOTE"), "hi");
    EXPECT_EQ(arg("EXTRA"), "x&y");
    EXPECT_EQ(var_length(DICT_SHOPPER), 1);
    EXPECT_EQ(shopper("PLAIN"), "1");
    EXPECT_FALSE(var_defined(DICT_INPUT, "ORDER_ID")) << "never taken from a request, not even as raw input";
    EXPECT_EQ(input("BATCH_PRODUCT_1"), "abc");
    EXPECT_FALSE(var_defined(DICT_SELECTED, "ABC"));  // batch rows come later
}

TEST_F(Query, HookReportsWhatItConsumed) {
    EXPECT_EQ(query_hook("color", "red"), 0);
    EXPECT_EQ(query_hook("OPTIONED_QUANTITY_SHIRT", "2"), 0);
    EXPECT_EQ(query_hook("action", "view"), 0);
    set_string(DICT_SHOPPER, "ACTION", "view");
    EXPECT_EQ(query_hook("action", "add"), 1);
    EXPECT_EQ(query_hook("Order_Id", "1"), 1);
    EXPECT_EQ(query_hook("product", ""), 1);
}

// ---- decoding and encoding -----------------------------------------------------

TEST(UrlDecode, PlusHexAndPlainCharacters) {
    EXPECT_EQ(url_decode("a+b%41%6a%2f~"), "a bAj/~");
    EXPECT_EQ(url_decode(""), "");
    EXPECT_EQ(url_decode("%e9"), "\xE9");
    EXPECT_EQ(url_decode("ab%00cd"), "ab");
}

TEST(UrlDecode, FromHexReadsEitherCase) {
    EXPECT_EQ(fromhex("4a"), 0x4A);
    EXPECT_EQ(fromhex("fF"), 0xFF);
    EXPECT_EQ(fromhex("00"), 0);
}

TEST_F(QueryDeathTest, InvalidEscapesEndTheRequest) {
    std::string page = dir.path() + "/page.txt";
    for (const char *bad : {"%4", "%zz", "%", "ok%g1", "%4g"}) {
        EXPECT_EXIT(
            {
                stdout_to(page);
                url_decode(bad);
            },
            ::testing::ExitedWithCode(1), "")
            << bad;
        EXPECT_NE(dir.read("page.txt").find("Invalid escape sequence in CGI query."), std::string::npos) << bad;
    }
    EXPECT_EXIT(
        {
            stdout_to(page);
            fromhex("x1");
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(QueryDeathTest, BadEscapeInQueryEndsTheRequest) {
    std::string page = dir.path() + "/page.txt";
    EXPECT_EXIT(
        {
            stdout_to(page);
            parse("a=1&b=%zz");
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(dir.read("page.txt").find("Invalid escape sequence in CGI query."), std::string::npos);
}

TEST_F(QueryDeathTest, MalformedFieldQuotesTheRestEscaped) {
    std::string page = dir.path() + "/page.txt";
    EXPECT_EXIT(
        {
            stdout_to(page);
            parse("a=1&<b>\"x\"&c");
        },
        ::testing::ExitedWithCode(1), "");
    std::string out = dir.read("page.txt");
    EXPECT_NE(out.find("Orvel received a malformed query request (<B><TT>\"&lt;b&gt;&quot;x&quot;&amp;c\"</TT></B>) "
                       "from your browser.  Please try again."),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("<b>"), std::string::npos);
}

TEST(UrlEncode, FormEncodingForPlugins) {
    struct Case {
        const char *in, *out;
    } cases[] = {{"a b", "a+b"}, {"\xE9", "%E9"}, {"a/b", "a%2Fb"}, {"A-_z9", "A-_z9"}, {"", ""},
                 {"x=1&y=%", "x%3D1%26y%3D%25"}, {"~.\n", "%7E%2E%0A"}};
    for (const Case &c : cases) {
        char *encoded = Orvel_url_encode(c.in);
        ASSERT_NE(encoded, nullptr);
        EXPECT_STREQ(encoded, c.out);
        std::free(encoded);
    }
    EXPECT_EQ(Orvel_url_encode(nullptr), nullptr);
}

TEST(UrlEncode, DecodingUndoesEncoding) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    char *encoded = Orvel_url_encode(all.c_str());
    EXPECT_EQ(url_decode(encoded), all);
    std::free(encoded);
}

// ---- quantities, batch rows, multi-valued and forbidden fields -------------------

TEST_F(Query, PassedQuantitySyntax) {
    set_selected_quantity("ABC", 3);
    EXPECT_EQ(parse_passed_product_quantity("ABC", "+"), 4);
    EXPECT_EQ(parse_passed_product_quantity("ABC", "+9"), 4);
    EXPECT_EQ(parse_passed_product_quantity("ABC", "-5"), 2);
    EXPECT_EQ(parse_passed_product_quantity("NONE", "-"), 0);
    EXPECT_EQ(parse_passed_product_quantity("NONE", "+"), 1);
    EXPECT_EQ(parse_passed_product_quantity("ABC", "12"), 12);
    EXPECT_EQ(parse_passed_product_quantity("ABC", "x"), 0);
    EXPECT_EQ(parse_passed_product_quantity("ABC", ""), -1);
    set_string(DICT_CONFIG, "BLANK_QUANTITY", "REMOVE");
    EXPECT_EQ(parse_passed_product_quantity("ABC", ""), 0);
}

TEST_F(Query, BatchRowsSelectProducts) {
    set_selected_quantity("KEEP", 5);
    set_selected_quantity("DOWN", 2);
    parse("batch_product_1=abc&batch_quantity_1=3"
          "&batch_product_2=def"
          "&batch_product_3=down&batch_quantity_3=-"
          "&batch_product_4=up&batch_quantity_4=%2B"
          "&batch_product_5=keep&batch_quantity_5=&"
          "batch_product_=nosuffix&batch_product_6=&batch_quantity_6=4");
    parse_batch_product_input();
    EXPECT_EQ(get_selected_quantity("ABC"), 3);
    EXPECT_EQ(get_selected_quantity("DEF"), 1);
    EXPECT_EQ(get_selected_quantity("DOWN"), 1);
    EXPECT_EQ(get_selected_quantity("UP"), 1);
    EXPECT_EQ(get_selected_quantity("KEEP"), 1);  // empty quantity: one
    EXPECT_FALSE(var_defined(DICT_SELECTED, "NOSUFFIX"));
    EXPECT_EQ(get_selected_products_string(), "KEEP;DOWN;ABC;DEF;UP");
}

TEST_F(Query, BatchRowWithUnreadableQuantityLeavesTheCart) {
    set_selected_quantity("ABC", 2);
    set_string(DICT_INPUT, "BATCH_PRODUCT_1", "abc");
    set_string(DICT_INPUT, "BATCH_QUANTITY_1", " -1");
    parse_batch_product_input();
    EXPECT_EQ(get_selected_quantity("ABC"), 2);
}

TEST_F(Query, MultipleValuesJoinedOnlyWithAJoiner) {
    parse("color=red&color=blue&size=s&size=m&one=1");
    set_string(DICT_MIVS, "COLOR", ", and so on");
    set_string(DICT_MIVS, "SIZE", "");
    set_string(DICT_MIVS, "ONE", ";");
    rewrite_multiple_input_values();
    EXPECT_EQ(shopper("COLOR"), "red,blue");
    EXPECT_EQ(shopper("SIZE"), "m");
    EXPECT_EQ(shopper("ONE"), "1");
}

TEST_F(Query, ForbiddenFieldsAreScrubbed) {
    parse("price=0.01&Total=1&color=red&keep=1&PRODUCT_abc=2&arg_x=y");
    set_string(DICT_CONFIG, "FORBIDDEN_QUERY_FIELDS", "price;total; keep;product_abc;ARG_X");
    scrub_query();
    for (const char *gone : {"PRICE", "TOTAL", "PRODUCT_ABC", "ARG_X"}) {
        EXPECT_FALSE(var_defined(DICT_SHOPPER, gone)) << gone;
        EXPECT_FALSE(var_defined(DICT_INPUT, gone)) << gone;
    }
    EXPECT_EQ(shopper("COLOR"), "red");
    EXPECT_EQ(shopper("KEEP"), "1");  // " keep" is not trimmed
    EXPECT_EQ(get_selected_quantity("ABC"), 2);
    EXPECT_EQ(arg("X"), "y");
}

// ---- the cart accessors -----------------------------------------------------------

TEST(Selection, QuantitiesKeepSelectionOrder) {
    FreshDictionaries dicts;
    set_selected_quantity("B", 2);
    set_selected_quantity("A", 1);
    set_selected_quantity("B", 0);
    set_selected_quantity("", 9);
    EXPECT_EQ(get_selected_products_string(), "B;A");
    EXPECT_TRUE(var_defined(DICT_SELECTED, "B"));
    EXPECT_EQ(get_selected_quantity("B"), 0);
    EXPECT_EQ(get_selected_quantity("A"), 1);
    EXPECT_EQ(get_selected_quantity(""), 0);
    EXPECT_EQ(get_selected_quantity("MISSING"), 0);
    set_string(DICT_SELECTED, "TEXT", "many");
    EXPECT_EQ(get_selected_quantity("TEXT"), 0);
    set_string(DICT_SELECTED, "NUM", "7");
    EXPECT_EQ(get_selected_quantity("NUM"), 7);
    EXPECT_EQ(get_var(DICT_SELECTED, "A")->value->type, TYPE_INTEGER);
}

TEST(Selection, LoadedProductFollowsItsQuantity) {
    FreshDictionaries dicts;
    var *record = new_dict("[ABC]");
    set_string(record, "NAME", "Widget");
    set_var(DICT_PRODUCTS, "ABC", TYPE_VAR, record);
    set_selected_quantity("ABC", 3);
    EXPECT_EQ(var_integer(record, "QUANTITY", -1), 3);
    set_selected_quantity("XYZ", 1);  // not loaded: only the cart changes
    EXPECT_FALSE(var_defined(DICT_PRODUCTS, "XYZ"));
}

TEST_F(Query, ManyRepeatsOfOneFieldAreJoinedInOrder) {
    std::string query, expected;
    for (int i = 0; i < 50000; ++i) {
        query += "color=" + std::to_string(i) + "&";
        if (i) expected += '\x1e';
        expected += std::to_string(i);
    }
    query += "client=1&client=2";
    parse(query);
    EXPECT_EQ(input("COLOR"), expected);
    EXPECT_EQ(shopper("COLOR"), "49999");
    EXPECT_EQ(input("CLIENT"), "2") << "a later CLIENT replaces the earlier";
}
