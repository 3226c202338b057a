// Building the specification text from the shopper's fields and parsing
// it: word splitting, defaults, named fields, group mode, normalisation by
// comparison form, term substitution and the canonical texts.
#include "search_test_util.h"

#include "platform/errors.h"

using namespace search_test;

namespace {

std::string joined(const std::vector<std::string> &words) {
    std::string out;
    for (const std::string &w : words) out += "[" + w + "]";
    return out;
}

}  // namespace

TEST(SpecWords, QuotesKeepPhrasesTogetherAndApostrophesStayLetters) {
    EXPECT_EQ(joined(get_spec_words("  red \"big box\"\tblue  ")), "[red][big~box][blue]");
    EXPECT_EQ(joined(get_spec_words("O'Brien 'tea\tpot' x'")), "[O'Brien][tea~pot][x']");
    // A stretch left open runs to the end; the other quote is an ordinary
    // character inside it.
    EXPECT_EQ(joined(get_spec_words("\"it's a b")), "[it's~a~b]");
    EXPECT_EQ(joined(get_spec_words("")), "");
}

TEST_F(SearchTest, DefaultsComeFromTheConfigurationAndNamesAreUpperCaseOnly) {
    EXPECT_EQ(default_search_fields("name;description"), "NAME;DESCRIPTION");
    EXPECT_EQ(default_search_fields(""), "NAME");
    config("DEFAULT_SEARCH_FIELD", "GROUP");
    EXPECT_EQ(default_search_fields(""), "GROUP");

    EXPECT_EQ(default_search_logic("AND"), '+');
    EXPECT_EQ(default_search_logic("NOT"), '-');
    EXPECT_EQ(default_search_logic("*x"), '*');
    EXPECT_EQ(default_search_logic("and"), '?');
    EXPECT_EQ(default_search_logic(""), '?');
    config("DEFAULT_SEARCH_LOGIC", "AND");
    EXPECT_EQ(default_search_logic(""), '+');

    EXPECT_EQ(default_search_comp("WORDBEG"), '[');
    EXPECT_EQ(default_search_comp("STREND"), '$');
    EXPECT_EQ(default_search_comp(">"), '>');
    EXPECT_EQ(default_search_comp("wordbeg"), ':');
    EXPECT_EQ(default_search_comp("BOGUS"), ':');
    config("DEFAULT_SEARCH_COMP", "EQUALS");
    EXPECT_EQ(default_search_comp(""), '=');
}

TEST_F(SearchTest, LooseWordsSpreadOverTheDefaultFields) {
    shopper("SEARCH_SPEC", "red \"big box\"");
    const std::string text = get_spec_string("NAME;DESCRIPTION", '+', ':');
    EXPECT_EQ(text, "+NAME:red +DESCRIPTION:red +NAME:big~box +DESCRIPTION:big~box");
    EXPECT_EQ(terms(text), "+NAME:RED +DESCRIPTION:RED +NAME:BIGBOX +DESCRIPTION:BIGBOX ");

    // Group mode: each word must occur in one of the fields, not in both.
    shopper("SEARCH_PARAND", "1");
    EXPECT_EQ(get_spec_string("NAME;DESCRIPTION", '+', ':'),
              "*NAME:red *DESCRIPTION:red *NAME:big~box *DESCRIPTION:big~box");
    // Zero switches it off even when the store default is on; a negative
    // value defers to the default.
    config("DEFAULT_SEARCH_PARAND", "1");
    shopper("SEARCH_PARAND", "0");
    EXPECT_EQ(get_spec_string("NAME", '+', ':'), "+NAME:red +NAME:big~box");
    shopper("SEARCH_PARAND", "-1");
    EXPECT_EQ(get_spec_string("NAME", '+', ':'), "*NAME:red *NAME:big~box");
}

TEST_F(SearchTest, WordsNameTheirOwnFieldsOnlyWhenSearchable) {
    shopper("SEARCH_SPEC", "price<20 -%sale +color=red");
    EXPECT_EQ(get_spec_string("NAME", '?', ':'), "?PRICE<20 -NAME%sale +COLOR=red");

    config("SEARCHABLE_FIELDS", "name color");
    const std::string text = get_spec_string("NAME", '?', ':');
    EXPECT_EQ(text, "?NAME:price<20 -NAME%sale +COLOR=red");
    EXPECT_EQ(terms(text), "?NAME:PRICE20 -NAME%SALE +COLOR=RED ");
}

TEST_F(SearchTest, PerFieldKeysComeFirstAndKeepTheirOwnComparison) {
    shopper("SEARCH_SPEC", "tea");
    shopper("SEARCH_KEY_GROUP", "+=Green -black");
    shopper("SEARCH_KEY_BAD NAME", "x");  // no field can carry that name
    EXPECT_EQ(get_spec_string("NAME", '?', '%'), "+GROUP=Green -GROUP%black ?NAME%tea");
}

TEST_F(SearchTest, UnusableDefaultFieldsAreSkippedAndTheTextIsBounded) {
    shopper("SEARCH_SPEC", "tea");
    EXPECT_EQ(get_spec_string("NAME;DESC RIPTION; GROUP ;", '?', ':'), "?NAME:tea ?GROUP:tea");

    std::string many;
    for (int i = 0; i < 3000; ++i) many += "word" + std::to_string(i) + " ";
    shopper("SEARCH_SPEC", many);
    const std::string text = get_spec_string("NAME", '?', ':');
    EXPECT_LE(text.size(), SEARCH_SPEC_TEXT_MAX);
    EXPECT_GT(text.size(), SEARCH_SPEC_TEXT_MAX - 20);
    EXPECT_NE(text.back(), ' ');  // whole terms only
    EXPECT_NE(text.find("?NAME:word0 "), npos);
    EXPECT_EQ(text.substr(text.rfind(' ') + 1, 6), "?NAME:");
}

TEST_F(SearchTest, PatternsAreNormalisedByComparisonForm) {
    // Numbers stay as written and are numeric.
    SearchSpecPtr spec = create_search_spec("+PRICE>-12.5 ?PRICE=1.2.3", false);
    ASSERT_TRUE(spec);
    EXPECT_STREQ(spec->first->pattern, "-12.5");
    EXPECT_EQ(spec->first->type, SEARCH_TYPE_NUMERIC);
    EXPECT_DOUBLE_EQ(spec->first->number, -12.5);
    EXPECT_STREQ(spec->first->next->pattern, "1.2.3");  // not a number: text
    EXPECT_EQ(spec->first->next->type, SEARCH_TYPE_TEXT);

    // Word comparisons keep spaces (from '~') and punctuation.
    EXPECT_EQ(terms("?NAME%o'brien~&~co ?NAME[tea-pot ?NAME]x,y"), "?NAME%O'BRIEN & CO ?NAME[TEA-POT ?NAME]X,Y ");
    // The others keep letters, digits and '.'.
    EXPECT_EQ(terms("?NAME:o'brien~&~co ?NAME^tea-pot ?NAME$1.5kg! ?NAME=a~b"),
              "?NAME:OBRIENCO ?NAME^TEAPOT ?NAME$1.5KG ?NAME=AB ");
    // SKUID values are upper-cased and kept whole.
    EXPECT_EQ(terms("+SKUID=ab-1~x"), "+SKUID=AB-1~X ");
    // The logic character is taken as it is; runs of spaces separate terms.
    EXPECT_EQ(terms("  !NAME:x   +GROUP=tea "), "!NAME:X +GROUP=TEA ");
    EXPECT_EQ(terms(""), "<none>");
    EXPECT_EQ(terms("   "), "<none>");
}

TEST_F(SearchTest, WeightsAndGroupsAreSetWhileParsing) {
    config("SEARCH_WEIGHT_NAME", "5");
    SearchSpecPtr spec = create_search_spec("*NAME:red *GROUP:red *NAME:blue ?GROUP:x", false);
    ASSERT_TRUE(spec);
    EXPECT_EQ(spec->first->weight, 5);
    EXPECT_EQ(spec->first->next->weight, 1);
    EXPECT_EQ(search_key_rank_value("NAME"), 5);
    // One group entry per distinct "*" pattern.
    EXPECT_EQ(var_length(spec->groups), 2);
    EXPECT_TRUE(var_defined(spec->groups, "RED"));
    EXPECT_TRUE(var_defined(spec->groups, "BLUE"));
}

TEST_F(SearchTest, AMalformedTermEndsTheRequestWithTheTextEscaped) {
    const std::string page = dir.path() + "/page.html";
    EXPECT_EXIT(
        {
            std::fflush(stdout);
            if (!std::freopen(page.c_str(), "w", stdout)) std::exit(3);
            create_search_spec("+NAME:ok <b>x bad&co", false);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
    const std::string shown = dir.read("page.html");
    EXPECT_NE(shown.find("malformed search specification"), npos) << shown;
    EXPECT_NE(shown.find("&lt;b&gt;x"), npos) << shown;
    EXPECT_NE(shown.find("bad&amp;co"), npos) << shown;
    EXPECT_EQ(shown.find("<b>x"), npos) << shown;
}

TEST_F(SearchTest, QueriesCarryPageSizeLimitAndWordMode) {
    config("SEARCH_MOST_MATCHES", "250");
    SearchQueryPtr q = new_search_query("+NAME:tea", 0, false);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->page_size, 100);
    EXPECT_FALSE(q->collect_all);
    EXPECT_EQ(q->most_matches, 250);
    EXPECT_FALSE(q->word_mode);

    q = new_search_query("+NAME[tea", -7, false);
    EXPECT_EQ(q->page_size, 7);
    EXPECT_TRUE(q->collect_all);
    EXPECT_TRUE(q->word_mode);
    EXPECT_FALSE(new_search_query("", 5, false));
}

TEST_F(SearchTest, CanonicalWordsAreTheDistinctPatterns) {
    SearchQueryPtr q = new_search_query("+NAME:red +DESCRIPTION:red ?NAME:big~box -GROUP%sale", 5, false);
    EXPECT_EQ(canonical_search_spec_string(q.get()), "+NAME:RED +DESCRIPTION:RED ?NAME:BIGBOX -GROUP%SALE ");
    EXPECT_EQ(canonical_search_spec_words_string(q.get()), "RED BIGBOX SALE ");
}

TEST_F(SearchTest, TermSubstitutionRulesApplyInFileOrder) {
    EXPECT_FALSE(preprocess_search_term("colour"));
    dir.write("rules/search_term.rules",
              "# spelling\n"
              "s/colour/color/\n"
              "s|gr[ae]y|grey   # both spellings\n"
              "s/(t)ea(s?)/%OVV_RE2+%OVV_RE1+ea/\n"
              "s/c\\#/csharp/\n"
              "not a rule\n"
              "s/missing-delimiter\n");
    EXPECT_EQ(preprocess_search_term("Colour"), "color");
    EXPECT_EQ(preprocess_search_term("gray gray"), "grey grey");
    EXPECT_EQ(preprocess_search_term("teas"), "stea");
    EXPECT_EQ(preprocess_search_term("tea"), "tea");
    EXPECT_EQ(preprocess_search_term("c#"), "csharp");
    EXPECT_EQ(preprocess_search_term("plain"), "plain");

    // The parser applies them before normalising, when asked to.
    EXPECT_EQ(terms("?NAME:colour", true), "?NAME:COLOR ");
    EXPECT_EQ(terms("?NAME:colour", false), "?NAME:COLOUR ");
}
