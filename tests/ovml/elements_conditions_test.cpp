// The condition elements (CHOICE, TRUE, FALSE) with their attribute tests,
// and ORVEL_REGEX with the RE0 ... RE9 sub-matches.
#include "ovml/elements_std.h"
#include "ovml_support.h"

#include "vars/vars.h"

#include <gtest/gtest.h>

namespace {

class ElementConditions : public ovml_test::OVMLTest {
protected:
    std::string var(const char *name) { return std::string(var_string(DICT_VARIABLES, name)); }
};

TEST_F(ElementConditions, ChoiceJoinsStringTestsWithOrUnlessAnd)
{
    const char *any = R"T(<ORVEL_CHOICE TOKEN="%OVE_STATE" SEQ1=NY SEQ2=NJ TRUE="local" FALSE="remote">)T";
    const char *all = R"T(<ORVEL_CHOICE TOKEN="%OVE_STATE" AND=1 SEQ1=NY SEQ2=NJ TRUE="local" FALSE="remote">)T";
    set_string(DICT_SHOPPER, "STATE", "ny");
    EXPECT_EQ(render_OVML_String(any), "local");
    EXPECT_EQ(render_OVML_String(all), "remote");
    set_string(DICT_SHOPPER, "STATE", "nj");
    EXPECT_EQ(render_OVML_String(any), "local");
    set_string(DICT_SHOPPER, "STATE", "ca");
    EXPECT_EQ(render_OVML_String(any), "remote");
    // AND holds when every test holds.
    EXPECT_EQ(render_OVML_String(R"T(<ORVEL_CHOICE TOKEN=ca AND=1 SNE=NY SIN=C TRUE=y FALSE=n>)T"), "y");
    EXPECT_EQ(render_OVML_String(R"T(<ORVEL_CHOICE TOKEN=ca AND=1 SNE=NY SNI=C TRUE=y FALSE=n>)T"), "n");
}

TEST_F(ElementConditions, NumericTestsReadDecimalNumbers)
{
    const char *tpl = "<ORVEL_TRUE TOKEN=\"%OVV_N\" GT=100>big</ORVEL_TRUE>"
                      "<ORVEL_FALSE TOKEN=\"%OVV_N\" GT=100>small</ORVEL_FALSE>";
    set_string(DICT_VARIABLES, "N", "100.5");
    EXPECT_EQ(render_OVML_String(tpl), "big");
    set_string(DICT_VARIABLES, "N", "99");  // "99" > "100" as text, not as a number
    EXPECT_EQ(render_OVML_String(tpl), "small");
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=2.0 EQ=2 TRUE=y FALSE=n>"), "y");
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=3 AND=1 GE=3 LE=3 LT=4 NE=5 TRUE=y FALSE=n>"), "y");
}

TEST_F(ElementConditions, ModHoldsForNonMultiples)
{
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=7 MOD=2 TRUE=odd FALSE=even>"), "odd");
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=8 MOD=2 TRUE=odd FALSE=even>"), "even");
    // A zero divisor never holds.
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=7 MOD=0 TRUE=y FALSE=n>"), "n");
}

TEST_F(ElementConditions, WithoutTestsTheOperandsTruthDecides)
{
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=abc TRUE=y FALSE=n>"), "y");
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=0.0 TRUE=y FALSE=n>"), "n");
    EXPECT_EQ(render_OVML_String("<ORVEL_CHOICE TOKEN=\"%OVV_NONE\" TRUE=y FALSE=n>"), "n");
}

TEST_F(ElementConditions, BodiesRenderOnlyWhenChosen)
{
    set_string(DICT_VARIABLES, "X", "val");
    const std::string out = render_OVML_Text(OVMLText::from_string(
        "<ORVEL_TRUE TOKEN=1>\n[%OVV_X]\n<ORVEL_MATH VALUE=1 RESULT=T>\n</ORVEL_TRUE>\n"
        "<ORVEL_FALSE TOKEN=1>\n<ORVEL_MATH VALUE=1 RESULT=F>\n</ORVEL_FALSE>\n"));
    EXPECT_EQ(out, "[val]\n");
    EXPECT_EQ(var("T"), "1");
    EXPECT_FALSE(var_defined(DICT_VARIABLES, "F"));  // the unchosen body never ran
}

TEST_F(ElementConditions, RegexSetsSubMatches)
{
    set_string(DICT_VARIABLES, "RE5", "stale");
    EXPECT_EQ(render_OVML_String(R"T(<ORVEL_REGEX PATTERN="([a-z]+)-([0-9]+)" VALUE="Order ABC-42 ok">)T"), "");
    EXPECT_EQ(var("RE0"), "ABC-42");  // case-insensitive
    EXPECT_EQ(var("RE1"), "ABC");
    EXPECT_EQ(var("RE2"), "42");
    EXPECT_EQ(var("RE5"), "");        // emptied before matching
    // RE is the other name of PATTERN, and the RE test sets the same variables.
    EXPECT_EQ(render_OVML_String(R"T(<ORVEL_CHOICE TOKEN="x=9" RE1="x=(.)" TRUE=y FALSE=n>)T"), "y");
    EXPECT_EQ(var("RE1"), "9");
    EXPECT_EQ(render_OVML_String(R"T(<ORVEL_REGEX RE="(b+)" VALUE="abbc">)T"), "");
    EXPECT_EQ(var("RE1"), "bb");
}

TEST_F(ElementConditions, RegexFailuresLeaveAComment)
{
    const std::string no_match = render_OVML_String(R"T(<ORVEL_REGEX PATTERN="^z" VALUE="abc">)T");
    EXPECT_EQ(no_match.rfind("<!-- Orvel-Regex error: ", 0), 0u) << no_match;
    EXPECT_NE(std::string(var_string(DICT_ORVEL, "ERROR")).find("Orvel-Regex error"), std::string::npos);
    EXPECT_NE(render_OVML_String(R"T(<ORVEL_REGEX VALUE="abc">)T").find("no pattern"), std::string::npos);
    EXPECT_NE(render_OVML_String(R"T(<ORVEL_REGEX PATTERN="(" VALUE="abc">)T").find("Orvel-Regex error"),
              std::string::npos);
    EXPECT_FALSE(Orvel_regex_comp("abc", "B").has_value());
}

}  // namespace
