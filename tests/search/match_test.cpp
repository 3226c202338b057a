// Scoring one line against a specification, grouped by comparison form and
// by logic; groups and required fields at the product level; the loose
// comparison built on the same parser; the database conditions.
#include "search_test_util.h"

#include "search/compare.h"

#include <cstdlib>

using namespace search_test;

namespace {

SearchLine text_line(std::string_view field, std::string_view text) {
    SearchLine line;
    line.field = field;
    line.text = text;
    line.type = text.empty() ? SEARCH_TYPE_NONE : SEARCH_TYPE_TEXT;
    return line;
}

SearchLine number_line(std::string_view field, std::string_view text) {
    SearchLine line = text_line(field, text);
    line.type = SEARCH_TYPE_NUMERIC;
    line.number = std::strtod(line.text.c_str(), nullptr);
    return line;
}

// The score of one line against a specification.
int score(std::string_view spec_text, const SearchLine &line) {
    SearchSpecPtr spec = create_search_spec(spec_text, false);
    return spec ? match_line(line, spec.get()) : -99;
}

}  // namespace

TEST_F(SearchTest, ContainsAndTheEdgeComparisons) {
    const SearchLine name = text_line("NAME", "GREEN TEA-POT LARGE");
    EXPECT_EQ(score("?NAME:TEA", name), 1);
    EXPECT_EQ(score("?NAME:COFFEE", name), 0);
    EXPECT_EQ(score("?NAME^GREEN", name), 1);
    EXPECT_EQ(score("?NAME^TEA", name), 0);
    EXPECT_EQ(score("?NAME$LARGE", name), 1);
    EXPECT_EQ(score("?NAME$LARG", name), 0);
    // A line without text fails every text comparison, even an empty one.
    EXPECT_EQ(score("?NAME:", text_line("NAME", "")), 0);
    EXPECT_EQ(score("?NAME:", name), 1);
}

TEST_F(SearchTest, WordComparisonsNeedWordBoundaries) {
    const SearchLine name = text_line("NAME", "GREEN TEA-POT, TEAS_X");
    EXPECT_EQ(score("?NAME%TEA", name), 1);       // "TEA-"
    EXPECT_EQ(score("?NAME%EA", name), 0);
    EXPECT_EQ(score("?NAME%TEAS", name), 0);      // '_' is a word character
    EXPECT_EQ(score("?NAME[GRE", name), 1);
    EXPECT_EQ(score("?NAME[REEN", name), 0);
    EXPECT_EQ(score("?NAME]POT", name), 1);
    EXPECT_EQ(score("?NAME]PO", name), 0);
    EXPECT_EQ(score("?NAME%GREEN~TEA", name), 1);  // a phrase keeps its space
    // An empty pattern begins and ends any word: "+SKUID[" finds every product.
    EXPECT_EQ(score("+SKUID[", text_line("SKUID", "A-1")), 1);
}

TEST_F(SearchTest, EqualsIsNumericOnlyForNumericLines) {
    EXPECT_EQ(score("?PRICE=12.5", number_line("PRICE", "12.50")), 1);
    EXPECT_EQ(score("?PRICE=12.5", text_line("PRICE", "12.50")), 0);
    EXPECT_EQ(score("?GROUP=TEA", text_line("GROUP", "TEA")), 1);
    EXPECT_EQ(score("?GROUP=TEA", text_line("GROUP", "TEAS")), 0);
}

TEST_F(SearchTest, GreaterAndLessCompareNumericValues) {
    EXPECT_EQ(score("?PRICE>10", number_line("PRICE", "12.50")), 1);
    EXPECT_EQ(score("?PRICE<10", number_line("PRICE", "12.50")), 0);
    EXPECT_EQ(score("?PRICE<20", number_line("PRICE", "12.50")), 1);
    // A text value counts as 0.
    SearchLine priced = text_line("PRICE", "$12.50");
    EXPECT_EQ(score("?PRICE>10", priced), 0);
    EXPECT_EQ(score("?PRICE<10", priced), 1);
}

TEST_F(SearchTest, LogicDecidesHowAMatchCounts) {
    config("SEARCH_WEIGHT_NAME", "3");
    const SearchLine name = text_line("NAME", "GREEN TEA");
    // Weights add up; terms on other fields do not count.
    EXPECT_EQ(score("+NAME:GREEN ?NAME:TEA ?NAME:BLACK ?GROUP:TEA", name), 6);
    EXPECT_EQ(score("+NAME:BLACK ?NAME:TEA", name), -1);
    EXPECT_EQ(score("-NAME:TEA ?NAME:GREEN", name), -1);
    EXPECT_EQ(score("-NAME:BLACK ?NAME:GREEN", name), 3);
    EXPECT_EQ(score("*NAME:GREEN *NAME:BLACK", name), 3);
    // Found flags are set for matching "+" and "*" terms only.
    SearchSpecPtr spec = create_search_spec("+NAME:GREEN *NAME:TEA *NAME:BLACK ?NAME:TEA", false);
    match_line(name, spec.get());
    const SearchWord *w = spec->first;
    EXPECT_EQ(w->found, 1);
    EXPECT_EQ(w->next->found, 1);
    EXPECT_EQ(w->next->next->found, 0);
    EXPECT_EQ(w->next->next->next->found, 0);
    clear_found_switches(spec.get());
    EXPECT_EQ(spec->first->found, 0);
}

TEST_F(SearchTest, GroupsAndRequiredFieldsDecideExclusion) {
    SearchSpecPtr spec = create_search_spec("*NAME:RED *DESCRIPTION:RED *NAME:BOX *DESCRIPTION:BOX", false);
    EXPECT_TRUE(parand_failed(spec.get()));  // nothing found yet
    match_line(text_line("NAME", "RED KETTLE"), spec.get());
    EXPECT_TRUE(parand_failed(spec.get()));  // BOX found nowhere yet
    match_line(text_line("DESCRIPTION", "IN A BOX"), spec.get());
    EXPECT_FALSE(parand_failed(spec.get()));
    EXPECT_FALSE(maybe_exclude_match("SKUID;NAME;DESCRIPTION;", spec.get()));
    clear_found_switches(spec.get());
    EXPECT_TRUE(parand_failed(spec.get()));

    SearchSpecPtr required = create_search_spec("+NAME:RED ?COLOR:RED", false);
    EXPECT_FALSE(maybe_exclude_match("SKUID;NAME;", required.get()));
    EXPECT_TRUE(maybe_exclude_match("SKUID;PRICE;", required.get()));
    EXPECT_TRUE(maybe_exclude_match("SKUID;MY_NAME;", required.get()));  // whole names only
    EXPECT_FALSE(maybe_exclude_match("SKUID;name;", required.get()));    // ignoring case
    // No groups: nothing fails.
    EXPECT_FALSE(parand_failed(required.get()));
}

TEST(SearchComp, LooseExpressionsScoreOneUpperCasedValue) {
    orvel_test::FreshDictionaries dicts;
    EXPECT_TRUE(search_comp("Red Widget", "red"));
    EXPECT_TRUE(search_comp("Red Widget", "%widget"));
    EXPECT_FALSE(search_comp("Red Widgets", "%widget"));
    EXPECT_TRUE(search_comp("25", ">20"));
    EXPECT_FALSE(search_comp("25", "<20"));
    EXPECT_TRUE(search_comp("SALE item", "+^sale -clearance"));
    EXPECT_FALSE(search_comp("sale clearance", "+^sale -clearance"));
    EXPECT_FALSE(search_comp("blue", "+red ?blue"));
    // The value is one text field: "=" compares texts, not numbers.
    EXPECT_TRUE(search_comp("20", "=20"));
    EXPECT_FALSE(search_comp("20.0", "=20"));
    // A phrase keeps its blank only for the word comparisons.
    EXPECT_TRUE(search_comp("big box", "%\"big box\""));
    EXPECT_FALSE(search_comp("big box", "\"big box\""));
    EXPECT_FALSE(search_comp("anything", ""));
    EXPECT_EQ(loose_spec_text("+red >5 \"a b\""), "+x:red ?x>5 ?x:a~b");
}

TEST_F(SearchTest, WhereConditionsQuoteValuesAndCheckNames) {
    SearchSpecPtr spec = create_search_spec("+NAME%O'BRIEN -GROUP:sale ?PRICE>9.5 ?SKUID=A\\B ?name:x ?A;B=c", false);
    EXPECT_EQ(search_spec_where(spec.get()),
              "(NAME RLIKE '[[:<:]]O''BRIEN[[:>:]]') AND NOT (GROUP LIKE '%SALE%') AND (PRICE > 9.50) AND "
              "(SKUID = 'A\\\\B')");
    spec = create_search_spec("?A$X ?B[Y ?C]Z ?D^W ?E<3", false);
    EXPECT_EQ(search_spec_where(spec.get()),
              "(A RLIKE 'X$') AND (B RLIKE '[[:<:]]Y') AND (C RLIKE 'Z[[:>:]]') AND (D RLIKE '^W') AND (E < 3.00)");

    EXPECT_EQ(skuid_list_where({"A-1", "O'B"}, "SKU_ID"), "SKU_ID in ('A-1','O''B')");
    EXPECT_FALSE(skuid_list_where({"A"}, "SKUID; DROP TABLE"));

    // The C forms hand out malloc'd texts.
    char *text = search_spec_to_where_statement(spec.get());
    EXPECT_STREQ(text, search_spec_where(spec.get()).c_str());
    std::free(text);
    list *ids = list_deserialize("X;Y", ';');
    text = skuid_list_to_where_statement(ids, "SKUID");
    EXPECT_STREQ(text, "SKUID in ('X','Y')");
    std::free(text);
    EXPECT_EQ(skuid_list_to_where_statement(ids, "bad name"), nullptr);
    free_list(ids);
}
