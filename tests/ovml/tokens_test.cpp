// The token pass: scanning, fall-backs, widths, complex tokens, the
// dictionary letters and the old names still served.
#include "ovml/tokens.h"

#include "catalog/products.h"
#include "platform/log.h"
#include "rules/totals.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

using namespace orvel_test;

namespace {

class Tokens : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_token_state();
        forget_order_total();
        set_current_product(nullptr);
        set_string(DICT_CONFIG, "STORE_NAME", "Shop");
    }
    void TearDown() override { reset_token_state(); }

    FreshDictionaries dicts;
};

// Runs a test body with the deprecation and error logs switched on in a
// scratch directory.
class TokenLogs : public Tokens {
protected:
    void SetUp() override
    {
        Tokens::SetUp();
        dir.write("orvel.dep", "");
        dir.write("orvel.err", "");
        reset_log_state();
    }
    void TearDown() override
    {
        reset_log_state();
        Tokens::TearDown();
    }
    std::string deprecations() const { return dir.read("orvel.dep"); }
    int lines_with(const std::string &text) const
    {
        int n = 0;
        for (std::size_t at = deprecations().find(text); at != std::string::npos;
             at = deprecations().find(text, at + 1))
            ++n;
        return n;
    }

    TempDir dir;
    WorkingDirectory cwd{dir.path()};
};

TEST_F(Tokens, EachLetterReadsItsDictionary)
{
    set_string(DICT_ARGS, "X", "arg");
    set_string(DICT_SHOPPER, "BILL_FNAME", "Ann");
    set_string(DICT_ORVEL, "PAGE", "home");
    set_string(DICT_URL, "MAIN", "http://shop.test/cgi");
    set_string(DICT_VARIABLES, "COLOR", "red");
    set_string(DICT_TOTALS, "SUBTOTAL", "12.00");
    EXPECT_EQ(ovmlsub("%OVA_X %OVE_BILL_FNAME %OVH_PAGE %OVM_STORE_NAME %OVU_MAIN %OVV_COLOR %OVT_SUBTOTAL"),
              "arg Ann home Shop http://shop.test/cgi red 12.00");
    // The letter and the name are recognised in either case.
    EXPECT_EQ(ovmlsub("[%ovm_store_name] [%Ove_Bill_Fname]"), "[Shop] [Ann]");
    // An unknown name of a valid letter gives nothing.
    EXPECT_EQ(ovmlsub("[%OVM_NO_SUCH_KEY]"), "[]");
    // Integer and float values print as their text.
    set_integer(DICT_ORVEL, "COUNT", 7);
    set_float(DICT_ORVEL, "AMOUNT", 2.5);
    EXPECT_EQ(ovmlsub("%OVH_COUNT/%OVH_AMOUNT"), "7/2.50");
}

TEST_F(Tokens, CurrentOrderIsReadOnlyWhenThereIsOne)
{
    ASSERT_EQ(DICT_CURRENT_ORDER, nullptr);
    EXPECT_EQ(ovmlsub("[%OVO_ORDER_ID|none]"), "[none]");
    EXPECT_FALSE(get_OVML_Token_Value("O_ORDER_ID"));
    DICT_CURRENT_ORDER = new_dict("[ORDER]");
    set_string(DICT_CURRENT_ORDER, "ORDER_ID", "A-17");
    EXPECT_EQ(ovmlsub("[%OVO_ORDER_ID|none]"), "[A-17]");
}

TEST_F(Tokens, FallBacksChainThroughTokensToALiteral)
{
    const char *chain = "%OVM_NOPE|%OVM_STORE_NAME|Shopless";
    EXPECT_EQ(ovmlsub(chain), "Shop");
    set_string(DICT_CONFIG, "NOPE", "");  // an empty value counts as missing
    EXPECT_EQ(ovmlsub(chain), "Shop");
    set_string(DICT_CONFIG, "NOPE", "Nope");
    EXPECT_EQ(ovmlsub(chain), "Nope");
    unset_var(DICT_CONFIG, std::string_view("NOPE"));
    unset_var(DICT_CONFIG, std::string_view("STORE_NAME"));
    EXPECT_EQ(ovmlsub(chain), "Shopless");

    // A literal runs to the next '|'; no fall-back at all gives "".
    EXPECT_EQ(ovmlsub("<%OVE_A|first|second>"), "<first>");
    EXPECT_EQ(ovmlsub("<%OVE_A>"), "<>");
    EXPECT_EQ(ovmlsub("<%OVE_A|>"), "<>");
    // Three tokens deep, each tried in turn.
    set_string(DICT_VARIABLES, "LAST", "v");
    EXPECT_EQ(ovmlsub("<%OVE_A|%OVH_B|%OVV_LAST|x>"), "<v>");
    // The literal part of a simple token holds letters, digits and '_'
    // only: the blank ends the token.
    EXPECT_EQ(ovmlsub("%OVE_A|no one"), "no one");
}

TEST_F(Tokens, WidthsCutOrPadWithPadChar)
{
    EXPECT_EQ(ovmlsub("[%OVM_10R_STORE_NAME]"), "[      Shop]");
    EXPECT_EQ(ovmlsub("[%OVM_10L_STORE_NAME]"), "[Shop      ]");
    set_string(DICT_CONFIG, "STORE_NAME", "Orvel Hardware Store");
    // Exact widths cut: right alignment keeps the end, left the start.
    EXPECT_EQ(ovmlsub("[%OVM_10R_STORE_NAME]"), "[ware Store]");
    EXPECT_EQ(ovmlsub("[%OVM_10L_STORE_NAME]"), "[Orvel Hard]");
    // Lower-case alignment letters pad but never cut.
    EXPECT_EQ(ovmlsub("[%OVM_10r_STORE_NAME]"), "[Orvel Hardware Store]");
    EXPECT_EQ(ovmlsub("[%OVM_10l_STORE_NAME]"), "[Orvel Hardware Store]");
    EXPECT_EQ(ovmlsub("[%OVM_25r_STORE_NAME]"), "[     Orvel Hardware Store]");

    set_string(DICT_TWEAKS, "PADCHAR", "*#");
    EXPECT_EQ(ovmlsub("[%OVE_06L_X|ab]"), "[ab****]");  // the width applies to a fall-back too
    EXPECT_EQ(ovmlsub("[%OVE_04R_X]"), "[****]");
    set_string(DICT_TWEAKS, "PADCHAR", "");
    EXPECT_EQ(ovmlsub("[%OVE_04R_X]"), "[    ]");
    // Not a width: the name is used as written.
    set_string(DICT_CONFIG, "1X_NAME", "odd");
    EXPECT_EQ(ovmlsub("[%OVM_1X_NAME]"), "[odd]");
}

TEST_F(Tokens, TextsThatAreNoTokensStayAsWritten)
{
    for (const char *text : {"%OVM_", "%OVM", "%OVX_A", "100%OV", "%OV", "50% off", "%O", "%OVm", "%ovx_store_name",
                             "%OV{M_STORE_NAME"}) {
        EXPECT_EQ(ovmlsub(text), text) << text;
    }
    EXPECT_FALSE(render_OVML_Tokens("no tokens here, 100% sure", false));
    EXPECT_TRUE(render_OVML_Tokens("a %ov b", false));
    EXPECT_EQ(parse_OVML_Token_Expression("%OVM_"), "%OVM_");
    EXPECT_EQ(parse_OVML_Token_Expression("STORE_NAME"), "STORE_NAME");
    EXPECT_EQ(parse_OVML_Token_Expression("%OVM_STORE_NAME"), "Shop");
    // A token letter without '_' is only "%OV" and the letter.
    EXPECT_EQ(ovmlsub("%OVMSTORE_NAME"), "%OVMSTORE_NAME");
    // An unmatched brace leaves the rest to be scanned on.
    EXPECT_EQ(ovmlsub("%OV{ %OVM_STORE_NAME"), "%OV{ Shop");
}

TEST_F(Tokens, PlusJoinsATokenToTheTextAfterIt)
{
    set_string(DICT_VARIABLES, "A", "x");
    EXPECT_EQ(ovmlsub("%OVV_A+B"), "xB");
    EXPECT_EQ(ovmlsub("%OVV_A++B"), "x+B");
    EXPECT_EQ(ovmlsub("%OVV_A +B"), "x +B");
    EXPECT_EQ(ovmlsub("%OVV_A+%OVV_A"), "xx");
}

TEST_F(Tokens, SimpleTokensAreInsertedUnescaped)
{
    set_string(DICT_SHOPPER, "NOTE", "<b>\"A&B\"</b>");
    EXPECT_EQ(ovmlsub("%OVE_NOTE"), "<b>\"A&B\"</b>");
    // The inserted value is not scanned again.
    set_string(DICT_SHOPPER, "LOOP", "%OVM_STORE_NAME");
    EXPECT_EQ(ovmlsub("%OVE_LOOP!"), "%OVM_STORE_NAME!");
}

TEST_F(Tokens, ComplexTokensComputeTheirNameAndEscapeByQuote)
{
    set_string(DICT_SHOPPER, "CHOICE", "GREETING");
    set_string(DICT_CONFIG, "GREETING", "<Hi & \"bye\">");
    EXPECT_EQ(ovmlsub("%OV{\"M_%OVE_CHOICE\"}"), "&lt;Hi &amp; &quot;bye&quot;&gt;");
    EXPECT_EQ(ovmlsub("%OV{'M_%OVE_CHOICE'}"), "<Hi & \"bye\">");
    EXPECT_EQ(ovmlsub("%OV{M_%OVE_CHOICE}"), "&lt;Hi &amp; &quot;bye&quot;&gt;");
    // Blanks inside are dropped; the text around stays.
    EXPECT_EQ(ovmlsub("(%OV{'M _ STORE_NAME '})"), "(Shop)");
    // Braces nest, fall-backs and '+' work as for simple tokens.
    set_string(DICT_SHOPPER, "WHICH", "CHOICE");
    EXPECT_EQ(ovmlsub("%OV{'M_%OV{E_%OVE_WHICH}'}"), "<Hi & \"bye\">");
    EXPECT_EQ(ovmlsub("%OV{'M_MISSING|%OVM_STORE_NAME'}+s"), "Shops");
    // A computed name that comes out empty is no token: "%OVM_" stays.
    EXPECT_EQ(ovmlsub("[%OV{M_%OVE_NOTHING}]"), "[%OVM_]");
}

TEST_F(Tokens, RawComplexTokensIsReadOncePerProcess)
{
    set_string(DICT_CONFIG, "GREETING", "a<b");
    EXPECT_EQ(ovmlsub("%OV{M_GREETING}"), "a&lt;b");
    set_string(DICT_CONFIG, "RAW_COMPLEX_TOKENS", "1");
    EXPECT_EQ(ovmlsub("%OV{M_GREETING}"), "a&lt;b");  // already decided
    reset_token_state();
    EXPECT_EQ(ovmlsub("%OV{M_GREETING}"), "a<b");
    // A double quote still asks for escaping.
    EXPECT_EQ(ovmlsub("%OV{\"M_GREETING\"}"), "a&lt;b");
}

TEST_F(Tokens, InsideBracesTokensRunToTheNextPercent)
{
    // Complex mode: a token inside braces takes everything up to a '%'
    // that does not follow '|', then loses its trailing blanks.
    set_string(DICT_SHOPPER, "A", "STORE");
    set_string(DICT_SHOPPER, "B", "_NAME");
    EXPECT_EQ(render_OVML_Tokens("M_%OVE_A%OVE_B", true), "M_STORE_NAME");
    EXPECT_EQ(render_OVML_Tokens("%OVE_A  ", true), "STORE");
    EXPECT_EQ(render_OVML_Tokens("%OVE_NONE|%OVE_A", true), "STORE");
    EXPECT_EQ(ovmlsub("%OV{M_%OVE_A%OVE_B}"), "Shop");
}

TEST_F(Tokens, ComputedLettersGiveText)
{
    orvel_test::TempDir catalog;
    catalog.write("products.txt", "SKUID: OTHER\nNAME: Other\n");
    set_string(DICT_CONFIG, "CAT_DIR", catalog.path());
    set_integer(DICT_SELECTED, "W1", 3);
    EXPECT_EQ(ovmlsub("%OVQ_W1/%OVQ_NONE"), "3/0");
    EXPECT_EQ(get_OVML_Token_Value("Q_W1"), "3");
    EXPECT_EQ(get_OVML_Token_Value("G_TOOLS"), "0");
    EXPECT_EQ(get_OVML_Token_Value("S_*"), "1.00");  // W1 loads as a missing-product placeholder
    EXPECT_FALSE(get_OVML_Token_Value("X_W1"));
    EXPECT_FALSE(get_OVML_Token_Value("M_NONE"));
    set_string(DICT_CONFIG, "EMPTY", "");
    EXPECT_EQ(get_OVML_Token_Value("M_EMPTY"), "");
}

TEST_F(Tokens, TotalsAskTheTallyOnEveryRead)
{
    set_string(DICT_TOTALS, "SUBTOTAL", "9.99");
    EXPECT_EQ(tally_order_calls(), 0);
    EXPECT_EQ(ovmlsub("%OVT_SUBTOTAL %OVT_SUBTOTAL"), "9.99 9.99");
    EXPECT_EQ(tally_order_calls(), 2);
    EXPECT_EQ(ovmlsub("%OVT_NONE|x"), "x");
    EXPECT_EQ(tally_order_calls(), 3);
    ovmlsub("%OVM_STORE_NAME %OVE_A %OVH_B");
    EXPECT_EQ(tally_order_calls(), 3);
}

TEST_F(Tokens, ShipSameAsBillIsComputedAndKept)
{
    set_string(DICT_SHOPPER, "SHIP_CITY", "Paris");
    set_string(DICT_SHOPPER, "BILL_CITY", "PARIS");
    set_string(DICT_SHOPPER, "SHIP_NOTE", "no partner");
    EXPECT_EQ(ovmlsub("%OVH_SHIP_SAME_AS_BILL"), "1");
    EXPECT_EQ(var_string(DICT_ORVEL, "SHIP_SAME_AS_BILL"), "1");
    // Kept: a later change of the address is not seen by %OVH_.
    set_string(DICT_SHOPPER, "BILL_CITY", "Lyon");
    EXPECT_EQ(ovmlsub("%OVH_SHIP_SAME_AS_BILL"), "1");
    unset_var(DICT_ORVEL, std::string_view("SHIP_SAME_AS_BILL"));
    EXPECT_EQ(ovmlsub("%OVH_SHIP_SAME_AS_BILL"), "0");
    // A lower-case prefix is still a shipping field.
    set_string(DICT_SHOPPER, "BILL_CITY", "Paris");
    set_string(DICT_SHOPPER, "ship_ZIP", "1");
    set_string(DICT_SHOPPER, "BILL_ZIP", "2");
    unset_var(DICT_ORVEL, std::string_view("SHIP_SAME_AS_BILL"));
    EXPECT_EQ(ovmlsub("%OVH_SHIP_SAME_AS_BILL"), "0");
}

TEST_F(TokenLogs, OldConfigurationNamesAreServedAndReported)
{
    set_string(DICT_SHOPPER, "CLIENT", "12345678");
    set_string(DICT_ORVEL, "WORD_COUNT", "4");
    set_string(DICT_ORVEL, "RANDOM", "77");
    set_string(DICT_ORVEL, "PAYMENT_INFO", "card");
    EXPECT_EQ(ovmlsub("%OVM_CLIENT"), "12345678");
    EXPECT_EQ(ovmlsub("%OVM_WORD_COUNT %OVM_RANDOM"), "4 77");
    EXPECT_EQ(ovmlsub("%OVM_CREDIT_INFO|%OVM_PAYMENT_INFO"), "card");
    // A merchant's own key of an old name wins, silently.
    set_string(DICT_CONFIG, "PAGE", "mine");
    EXPECT_EQ(ovmlsub("%OVM_PAGE"), "mine");
    // "INFO" alone is no whole word of the old payment names.
    EXPECT_EQ(ovmlsub("[%OVM_INFO]"), "[]");

    EXPECT_EQ(lines_with(": deprecated: %OVM_CLIENT token; use %OVE instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVM_WORD_COUNT token; use %OVH instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVM_RANDOM token; use %OVH instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVM_CREDIT_INFO token; use %OVH_PAYMENT_INFO instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVM_PAYMENT_INFO token; use %OVH_PAYMENT_INFO instead.\n"), 0);
    EXPECT_EQ(lines_with("PAGE"), 0);
    EXPECT_EQ(lines_with("%OVM_INFO"), 0);
}

TEST_F(TokenLogs, ShipToBillAndOldLettersAreReported)
{
    set_string(DICT_SHOPPER, "SHIP_NAME", "A");
    set_string(DICT_SHOPPER, "BILL_NAME", "B");
    set_string(DICT_SHOPPER, "COLOR", "red");
    set_string(DICT_CONFIG, "NOTE", "hello");
    EXPECT_EQ(ovmlsub("%OVM_SHIP_TO_BILL"), "0");
    EXPECT_EQ(var_string(DICT_ORVEL, "SHIP_SAME_AS_BILL"), "0");
    EXPECT_EQ(ovmlsub("%OVC_COLOR %OVN_NOTE"), "red hello");
    EXPECT_EQ(lines_with(": deprecated: %OVM_SHIP_TO_BILL token; use %OVH_SHIP_SAME_AS_BILL instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVC token; construct hidden field with %OVE.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVN token; use %OVM_NOTE.\n"), 1);
}

TEST_F(TokenLogs, OldShopperTotalAndUrlNames)
{
    set_string(DICT_ORVEL, "REMOTE_ADDR", "10.0.0.1");
    set_string(DICT_ORVEL, "HTTP_REFERER", "http://ref.test/");
    set_string(DICT_TOTALS, "SKUID", "A;B");
    set_string(DICT_TOTALS, "SUBTOTAL", "5.00");
    set_string(DICT_URL, "MAIN_SECURE", "https://shop.test/s");
    EXPECT_EQ(ovmlsub("%OVE_REMOTE_ADDR %OVE_REFERRER"), "10.0.0.1 http://ref.test/");
    EXPECT_EQ(ovmlsub("%OVT_ITEMS %OVT_PRICE"), "A;B 5.00");
    EXPECT_EQ(ovmlsub("%OVU_FINISH_SECURE_URL [%OVU_FINISH]"), "https://shop.test/s []");
    // Missing targets give "" rather than nothing.
    EXPECT_EQ(get_OVML_Token_Value("U_FINISH_URL"), "");
    EXPECT_FALSE(get_OVML_Token_Value("U_OTHER"));

    EXPECT_EQ(lines_with(": deprecated: %OVE_REMOTE_ADDR token; use %OVH_REMOTE_ADDR instead.\n"), 1);
    EXPECT_EQ(lines_with("REFERRER"), 0);
    EXPECT_EQ(lines_with(": deprecated: %OVT_ITEMS token; use %OVT_SKUID instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVT_PRICE token; use %OVT_SUBTOTAL instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVU_FINISH_SECURE_URL token; use %OVU_MAIN_SECURE instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVU_FINISH token; use %OVU_MAIN instead.\n"), 1);
    EXPECT_EQ(lines_with(": deprecated: %OVU_FINISH_URL token; use %OVU_MAIN instead.\n"), 1);
}

TEST_F(Tokens, OvmlifyFieldsRendersEveryStringAfterTheStart)
{
    var *attrs = new_dict("[ATTRS]");
    set_string(attrs, "A", "%OVM_STORE_NAME!");
    var *b = set_string(attrs, "B", "x %OVE_NONE|y");
    set_integer(attrs, "N", 5);
    set_string(attrs, "C", "plain");
    OVMLify_fields(attrs);
    EXPECT_EQ(var_string(attrs, "A"), "Shop!");
    EXPECT_EQ(var_string(attrs, "B"), "x y");
    EXPECT_EQ(get_var(attrs, std::string_view("N"))->value->type, TYPE_INTEGER);
    EXPECT_EQ(var_string(attrs, "C"), "plain");

    set_string(attrs, "A", "%OVM_STORE_NAME");
    set_string(attrs, "B", "%OVM_STORE_NAME");
    OVMLify_fields(b);  // from B on only
    EXPECT_EQ(var_string(attrs, "A"), "%OVM_STORE_NAME");
    EXPECT_EQ(var_string(attrs, "B"), "Shop");
    nuke_var(attrs);
}

TEST_F(Tokens, LongTextsWithManyTokens)
{
    std::string text, expected;
    for (int i = 0; i < 200; ++i) {
        text += "<td>%OVM_STORE_NAME|x</td>%";
        expected += "<td>Shop</td>%";
    }
    EXPECT_EQ(ovmlsub(text), expected);
    // A token at the very end, cut short, stays as written.
    EXPECT_EQ(ovmlsub("a %OVM_STORE_NAME %O"), "a Shop %O");
    EXPECT_EQ(ovmlsub("a %OVM_STORE_NAME %OV"), "a Shop %OV");
}

}  // namespace

TEST_F(Tokens, ShopperTextNamesAComputedTokenButNeverChainsToAnother)
{
    set_string(DICT_CONFIG, "MAIL_PATH", "/usr/sbin/secret-mailer");
    set_string(DICT_CONFIG, "GROUND", "Ground: 5.00");
    set_string(DICT_SHOPPER, "SHIP_METHOD", "GROUND");
    EXPECT_EQ(ovmlsub("%OV{M_%OVE_SHIP_METHOD}"), "Ground: 5.00");
    set_string(DICT_SHOPPER, "SHIP_METHOD", "X|%OVM_MAIL_PATH");
    EXPECT_EQ(ovmlsub("[%OV{M_%OVE_SHIP_METHOD}]"), "[]");
    set_string(DICT_SHOPPER, "SHIP_METHOD", "X}%OV{M_MAIL_PATH");
    EXPECT_EQ(ovmlsub("[%OV{M_%OVE_SHIP_METHOD}]").find("secret"), std::string::npos);
}

TEST_F(Tokens, NestingIsBoundedAndDeepTokensStayAsWritten)
{
    // Thousands of fall-backs in a value substituted into a computed name.
    std::string chain;
    for (int i = 0; i < 200000; ++i) chain += "|%OVE_B";
    set_string(DICT_SHOPPER, "A", chain);
    EXPECT_EQ(ovmlsub("[%OV{E_%OVE_A}]"), "[]");

    // A fall-back chain longer than the bound ends as written, not in a crash.
    std::string token = "%OVE_NONE";
    for (int i = 0; i < 200000; ++i) token += "|%OVE_NONE";
    const std::string out = ovmlsub(token);
    EXPECT_FALSE(out.empty());
    // Nested complex tokens in a template likewise.
    std::string nested = "x";
    for (int i = 0; i < 20000; ++i) nested = "%OV{" + nested + "}";
    EXPECT_NO_FATAL_FAILURE(ovmlsub(nested));
    // Short chains still work.
    set_string(DICT_SHOPPER, "C", "found");
    EXPECT_EQ(ovmlsub("%OVE_NONE|%OVE_NONE|%OVE_C"), "found");
}
