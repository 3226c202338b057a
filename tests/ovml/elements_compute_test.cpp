// The computing elements: MATH, VSET, EXPLODE, SUBST, STRIP, DATE, DIGEST,
// GETENV and CURRENCY.
#include "ovml_support.h"

#include "catalog/selection.h"
#include "platform/digest.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class ElementCompute : public ovml_test::OVMLTest {
protected:
    std::string var(const char *name) { return std::string(var_string(DICT_VARIABLES, name)); }
    int type_of(const char *name)
    {
        ::var *v = get_var(DICT_VARIABLES, name);
        return v ? v->value->type : -1;
    }
};

TEST_F(ElementCompute, MathCutsIntegersTowardZeroUnlessFloat)
{
    EXPECT_EQ(render_OVML_String("<ORVEL_MATH VALUE=7 OP1=\"/2\" RESULT=half>"), "");
    EXPECT_EQ(var("HALF"), "3");
    EXPECT_EQ(type_of("HALF"), TYPE_INTEGER);
    render_OVML_String("<ORVEL_MATH VALUE=-7 OP1=\"/2\" RESULT=neg>");
    EXPECT_EQ(var("NEG"), "-3");
    render_OVML_String("<ORVEL_MATH VALUE=7 OP1=\"/2\" TYPE=float RESULT=half>");
    EXPECT_EQ(var("HALF"), "3.50");
    EXPECT_EQ(type_of("HALF"), TYPE_FLOAT);
    // Operations apply in written order; without RESULT the name is RESULT.
    render_OVML_String("<ORVEL_MATH VALUE=\"%OVV_HALF\" OP1=\"+0.5\" OP2=x3 OP3=\"-2\" OP4=\"%5\" OP5=\"?9\">");
    EXPECT_EQ(var("RESULT"), "0");  // ((3.5+0.5)*3-2) % 5 = 0
    // Division by zero and a remainder by less than 1 change nothing.
    render_OVML_String("<ORVEL_MATH VALUE=9 OP1=\"/0\" OP2=\"%0.5\" RESULT=same>");
    EXPECT_EQ(var("SAME"), "9");
}

TEST_F(ElementCompute, MathBasesInAndOut)
{
    render_OVML_String("<ORVEL_MATH VALUE=255 BASE=16.04 RESULT=H>");
    EXPECT_EQ(var("H"), "00FF");
    render_OVML_String("<ORVEL_MATH VALUE=5 BASE=2 RESULT=B>");
    EXPECT_EQ(var("B"), "101");
    render_OVML_String("<ORVEL_MATH VALUE=FF FROMBASE=16 OP=\"+1\" RESULT=D>");
    EXPECT_EQ(var("D"), "256");
    // A negative number has no base form.
    render_OVML_String("<ORVEL_MATH VALUE=-5 BASE=16.04 RESULT=N>");
    EXPECT_EQ(var("N"), "");
}

TEST_F(ElementCompute, VsetChoosesItsDictionary)
{
    render_OVML_String("<ORVEL_VSET TOKEN=\"%OVQ_ABC\" VALUE=2>");
    EXPECT_EQ(get_selected_quantity("ABC"), 2);
    render_OVML_String("<ORVEL_VSET ROOT=selected NAME=xyz VALUE=4>");
    EXPECT_EQ(get_selected_quantity("XYZ"), 4);

    // The token is taken as written, not rendered.
    set_string(DICT_SHOPPER, "CITY", "Old");
    render_OVML_String("<ORVEL_VSET TOKEN=\"%OVE_CITY\" VALUE=\"New %OVE_CITY\">");
    EXPECT_EQ(var_string(DICT_SHOPPER, "CITY"), "New Old");
    render_OVML_String("<ORVEL_VSET TOKEN=\"%OVH_flag\" VALUE=on>");
    EXPECT_EQ(var_string(DICT_ORVEL, "FLAG"), "on");
    render_OVML_String("<ORVEL_VSET TOKEN=plain VALUE=v>");
    EXPECT_EQ(var("PLAIN"), "v");

    render_OVML_String("<ORVEL_VSET ROOT=Shopper NAME=zip VALUE=12345>");
    EXPECT_EQ(var_string(DICT_SHOPPER, "ZIP"), "12345");
    render_OVML_String("<ORVEL_VSET ROOT=urlx NAME=home VALUE=/h>");
    EXPECT_EQ(var_string(DICT_URL, "HOME"), "/h");
    render_OVML_String("<ORVEL_VSET NAME=v1 VALUE=one>");
    EXPECT_EQ(var("V1"), "one");
    render_OVML_String("<ORVEL_VSET ROOT=nowhere NAME=lost VALUE=x>");
    EXPECT_FALSE(var_defined(DICT_VARIABLES, "LOST"));

    render_OVML_String("<ORVEL_VSET NAME=pw RANDOM=12>");
    EXPECT_EQ(var("PW").size(), 12u);
    render_OVML_String("<ORVEL_VSET NAME=pw RANDOM=-3>");
    EXPECT_EQ(var("PW").size(), 1u);
}

TEST_F(ElementCompute, ExplodeSkipsEmptyPieces)
{
    render_OVML_String("<ORVEL_EXPLODE SRC=\"a;;b\" PREFIX=w>");
    EXPECT_EQ(var("W1"), "a");
    EXPECT_EQ(var("W2"), "b");
    EXPECT_FALSE(var_defined(DICT_VARIABLES, "W3"));
    render_OVML_String("<ORVEL_EXPLODE SRC=\",x,y\" DELIMITER=\",;\">");
    EXPECT_EQ(var("WORD1"), "x");
    EXPECT_EQ(var("WORD2"), "y");
}

TEST_F(ElementCompute, ExplodeNumberingWrapsAfter9999)
{
    std::string src;
    for (int i = 1; i <= 10001; ++i) src += std::to_string(i) + ";";
    render_OVML_String("<ORVEL_EXPLODE SRC=\"" + src + "\" PREFIX=n>");
    EXPECT_EQ(var("N9999"), "9999");
    EXPECT_EQ(var("N1"), "10000");
    EXPECT_EQ(var("N2"), "10001");
    EXPECT_FALSE(var_defined(DICT_VARIABLES, "N10000"));
}

TEST_F(ElementCompute, SubstReplacesAndCases)
{
    render_OVML_String("<ORVEL_SUBST VALUE=\"a-b-c\" SEARCH=\"-\" REPLACE=\"+\">");
    EXPECT_EQ(var("RESULT"), "a+b+c");
    // RE: the matched text becomes the pattern; the result name is used as written.
    render_OVML_String("<ORVEL_SUBST VALUE=\"tel 555 and 555\" RE=\"[0-9]+\" REPLACE=N RESULT=Out>");
    EXPECT_EQ(var("Out"), "tel N and N");
    EXPECT_FALSE(var_defined(DICT_VARIABLES, "OUT"));
    render_OVML_String("<ORVEL_SUBST VALUE=\"hello big world\" CAPITALIZE=words>");
    EXPECT_EQ(var("RESULT"), "Hello Big World");
    render_OVML_String("<ORVEL_SUBST VALUE=\"hello world\" CAPITALIZE=1>");
    EXPECT_EQ(var("RESULT"), "Hello world");
    render_OVML_String("<ORVEL_SUBST VALUE=\"MiXed\" LOWERCASE=1>");
    EXPECT_EQ(var("RESULT"), "mixed");
}

TEST_F(ElementCompute, StripRemovesOrKeepsCharacters)
{
    EXPECT_EQ(render_OVML_String("<ORVEL_STRIP SRC=\"(555) 123-4567\" CHARS=\"() -\">"), "5551234567");
    EXPECT_EQ(render_OVML_String("<ORVEL_STRIP VALUE=\"a1b2\" CHARS=\"0123456789\" COMPLEMENT RESULT=d>"), "");
    EXPECT_EQ(var("D"), "12");
}

TEST_F(ElementCompute, DateFormatsAndAdjusts)
{
    EXPECT_EQ(render_OVML_String("<ORVEL_DATE REFSECONDS=86400 GMT=1 FORMAT=\"%Y-%m-%d\">"), "1970-01-02");
    EXPECT_EQ(render_OVML_String("<ORVEL_DATE REFSECONDS=86400 ADJUST=F36H SECONDS=1>"), "216000");
    EXPECT_EQ(render_OVML_String("<ORVEL_DATE REFSECONDS=86400 GMT=1 ORVELDATE=1 RESULT=d>"), "");
    EXPECT_EQ(var("D"), "19700102000000");
    EXPECT_EQ(render_OVML_String("<ORVEL_DATE REFSECONDS=0 FORACOOKIE=1>"), "Thu, 01 Jan 1970 00:00:00 GMT");
}

TEST_F(ElementCompute, DigestGivesMd5AndHmacInHex)
{
    render_OVML_String("<ORVEL_DIGEST VALUE=abc>");
    EXPECT_EQ(var("RESULT"), "900150983cd24fb0d6963f7d28e17f72");
    render_OVML_String("<ORVEL_DIGEST TYPE=hmac KEY=Jefe VALUE=\"what do ya want for nothing?\" RESULT=mac>");
    EXPECT_EQ(var("mac"), "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(Orvel_Digest_MD5_Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Orvel_Digest_MD5_Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(Orvel_Digest_HMAC_Hex("", ""), "74e6f7298a9c2d168935f58c001bad88");
    // A key longer than a block is hashed first.
    EXPECT_EQ(Orvel_Digest_HMAC_Hex("Test Using Larger Than Block-Size Key - Hash Key First", std::string(80, '\xaa')),
              "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
}

TEST_F(ElementCompute, GetenvAndCurrency)
{
    ::setenv("ORVEL_ELEMENT_TEST", "here", 1);
    render_OVML_String("<ORVEL_GETENV NAME=ORVEL_ELEMENT_TEST RESULT=e>");
    EXPECT_EQ(var("E"), "here");
    render_OVML_String("<ORVEL_GETENV NAME=ORVEL_ELEMENT_TEST_UNSET>");
    EXPECT_TRUE(var_defined(DICT_VARIABLES, "RESULT"));
    EXPECT_EQ(var("RESULT"), "");
    ::unsetenv("ORVEL_ELEMENT_TEST");
    // No rate table: every conversion reads "n/a".
    EXPECT_EQ(render_OVML_String("<ORVEL_CURRENCY AMOUNT=10 TYPE=EUR>"), "n/a");
    EXPECT_EQ(render_OVML_String("<ORVEL_CURRENCY AMOUNT=10 RESULT=c>"), "");
    EXPECT_EQ(var("C"), "n/a");
}

}  // namespace
