// The attribute parser: names, flags, quoted and unquoted values, white
// space around '=', unfinished values and the joiner for repeated names.

#include "vars_test_util.h"

#include "vars/list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

class ToFields : public ::testing::Test {
protected:
    int parse(std::string_view text, bool upcase = true, char joiner = '\0')
    {
        return to_fields(text, d_.get(), upcase, joiner);
    }
    std::string get(const char *name) { return std::string(var_string(d_.get(), name)); }
    int type_of(const char *name)
    {
        var *v = get_var(d_.get(), name);
        return v ? v->value->type : -1;
    }
    DictHandle d_{"[ATTRS]"};
};

TEST_F(ToFields, NamesQuotedValuesAndFlags)
{
    EXPECT_EQ(parse(R"(TYPE=SELECTED SORT="NAME PRICE" REVERSED)"), 0);
    EXPECT_EQ(chain_names(d_.get()), (Strings{"TYPE", "SORT", "REVERSED"}));
    EXPECT_EQ(get("TYPE"), "SELECTED");
    EXPECT_EQ(get("SORT"), "NAME PRICE");
    EXPECT_EQ(type_of("TYPE"), TYPE_STRING);
    EXPECT_EQ(type_of("REVERSED"), TYPE_INTEGER);
    EXPECT_EQ(var_integer(d_.get(), "REVERSED", 0), 1);
}

TEST_F(ToFields, BlanksAroundEqualsAndSingleQuotes)
{
    parse("a = 'x y'");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"A"}));
    EXPECT_EQ(get("A"), "x y");
}

TEST_F(ToFields, CaseIsKeptWithoutUpcase)
{
    parse("Name=Value flag", false);
    EXPECT_EQ(chain_names(d_.get()), (Strings{"Name", "flag"}));
    EXPECT_EQ(get("Name"), "Value");
}

TEST_F(ToFields, ValueMissingAtTheEndStoresNothing)
{
    parse("B=1 A=");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"B"}));
    parse("C =   ");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"B"}));
}

TEST_F(ToFields, UnfinishedQuotedValueIsDropped)
{
    parse(R"(B=1 A="unfinished C=3)");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"B"}));
    parse("D='open");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"B"}));
}

TEST_F(ToFields, RepeatedNameLastWinsOrIsJoined)
{
    parse("A=1 A=2");
    EXPECT_EQ(get("A"), "2");
    EXPECT_EQ(var_length(d_.get()), 1);

    DictHandle joined("[COOKIES]");
    to_fields("A=1 A=2 A=3", joined.get(), true, '\x1e');
    EXPECT_EQ(var_string(joined.get(), "A"), "1\x1e" "2\x1e" "3");

    // An empty earlier value is replaced, not joined.
    DictHandle empty("[COOKIES]");
    to_fields(R"(A="" A=2)", empty.get(), true, '\x1e');
    EXPECT_EQ(var_string(empty.get(), "A"), "2");
}

TEST_F(ToFields, ValuesAreLiteral)
{
    parse(R"(A=x"y B="it's" C='say "hi"' D=a=b)");
    EXPECT_EQ(get("A"), "x\"y");
    EXPECT_EQ(get("B"), "it's");
    EXPECT_EQ(get("C"), "say \"hi\"");
    EXPECT_EQ(get("D"), "a=b");
}

TEST_F(ToFields, AllWhiteSpaceSeparates)
{
    parse(" \t\nA=1\t\r\nFLAG\v\fB = \n 2 \n");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"A", "FLAG", "B"}));
    EXPECT_EQ(get("A"), "1");
    EXPECT_EQ(get("B"), "2");
    EXPECT_EQ(type_of("FLAG"), TYPE_INTEGER);
}

TEST_F(ToFields, FlagsBeforeEqualsAndAtTheEnd)
{
    parse("ONE TWO   THREE");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"ONE", "TWO", "THREE"}));
    parse("FOUR   ");
    EXPECT_EQ(type_of("FOUR"), TYPE_INTEGER);
    parse(R"(X   =   "spaced")");
    EXPECT_EQ(get("X"), "spaced");
}

TEST_F(ToFields, QuotedValueMayBeEmptyAndIsFollowedDirectly)
{
    parse(R"(A="" B="b"C=c)");
    EXPECT_EQ(chain_names(d_.get()), (Strings{"A", "B", "C"}));
    EXPECT_EQ(get("A"), "");
    EXPECT_EQ(type_of("A"), TYPE_STRING);
    EXPECT_EQ(get("C"), "c");
}

TEST_F(ToFields, NameStartingWithEqualsIsEmpty)
{
    parse("=x");
    EXPECT_EQ(chain_names(d_.get()), (Strings{""}));
    EXPECT_EQ(get(""), "x");
}

TEST_F(ToFields, LongValuesAreKeptWhole)
{
    const std::string big(10000, 'v');
    parse("BIG=\"" + big + "\" AFTER=1");
    EXPECT_EQ(get("BIG"), big);
    EXPECT_EQ(get("AFTER"), "1");
}

TEST_F(ToFields, EmptyAndNullInput)
{
    EXPECT_EQ(parse(""), 0);
    EXPECT_EQ(parse("   "), 0);
    EXPECT_EQ(var_length(d_.get()), 0);
    EXPECT_EQ(to_fields(static_cast<const char *>(nullptr), d_.get(), 1, '\0'), 0);
    EXPECT_EQ(var_length(d_.get()), 0);
}

TEST_F(ToFields, CFormMatchesTheViewForm)
{
    const char *attrs = "loop=Cart items='3'";
    EXPECT_EQ(to_fields(attrs, d_.get(), 1, '\0'), 0);
    EXPECT_EQ(chain_names(d_.get()), (Strings{"LOOP", "ITEMS"}));
    EXPECT_EQ(get("LOOP"), "Cart");
    EXPECT_EQ(get("ITEMS"), "3");
}

TEST_F(ToFields, ParsesOnlyTheViewItWasGiven)
{
    const std::string whole = "A=1 B=2";
    parse(std::string_view(whole).substr(0, 4));
    EXPECT_EQ(chain_names(d_.get()), (Strings{"A"}));
}

}  // namespace
