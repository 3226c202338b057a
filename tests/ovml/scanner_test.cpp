// The tag scanner: where tags start, where names end, and reading tags
// (quotes, nested tag characters, several lines, the rest of the line).
#include "ovml_support.h"

#include "ovml/scanner.h"

#include <string>

using namespace ovml_test;

namespace {

constexpr std::size_t npos = std::string_view::npos;

std::size_t tag_start(std::string_view line, std::size_t *name = nullptr) {
    std::size_t name_start = npos;
    std::size_t at = get_tag_start(line, name_start);
    if (name) *name = name_start;
    return at;
}

}  // namespace

TEST(FindOrvel, FindsEveryCaseMixAtEveryAlignment) {
    for (std::size_t offset = 0; offset < 20; ++offset) {
        std::string line(offset, 'o');  // many near misses before the word
        line += "oRvEl";
        line += std::string(offset % 7, 'x');
        EXPECT_EQ(find_orvel(line), offset) << "offset " << offset;
        EXPECT_EQ(find_orvel(line, offset + 1), npos);
    }
    EXPECT_EQ(find_orvel("orve"), npos);
    EXPECT_EQ(find_orvel("xxxxxxxxxxxxxxxxxorvexl"), npos);
    EXPECT_EQ(find_orvel("0123456789ORVEL"), 10u);
}

TEST(TagStart, OpeningCharacterBeforeTheName) {
    std::size_t name = 0;
    EXPECT_EQ(tag_start("abc <ORVEL_X>", &name), 4u);
    EXPECT_EQ(name, 5u);
    // White space after the opening character and a closing tag's '/'.
    EXPECT_EQ(tag_start("< /orvel-loop>", &name), 0u);
    EXPECT_EQ(name, 2u);
    EXPECT_EQ(tag_start("x<\t ORVEL-Y a>", &name), 1u);
    EXPECT_EQ(name, 4u);
}

TEST(TagStart, WordWithoutOpeningCharacterIsNoTag) {
    EXPECT_EQ(tag_start("see the ORVEL_LOOP element"), npos);
    EXPECT_EQ(tag_start("a<b ORVEL_LOOP>"), npos);
    EXPECT_EQ(tag_start("<ORVEL>"), npos);
    EXPECT_EQ(tag_start("<ORVELLOOP>"), npos);
    // The search goes on past a mention without a tag.
    EXPECT_EQ(tag_start("the ORVEL_WAY is <ORVEL_Z>"), 17u);
    // A word not followed by '_' or '-' does not stop the search.
    EXPECT_EQ(tag_start("ORVELS <ORVEL_Y>"), 7u);
}

TEST(TagStart, NameWhereTheSearchBeginsEndsTheSearch) {
    // Nothing can stand before it, and the rest of the line is not searched.
    EXPECT_EQ(tag_start("ORVEL_X <ORVEL_Y>"), npos);
    EXPECT_EQ(tag_start("orvel-x <ORVEL_Y>"), npos);
}

TEST(TagNameEnd, WhiteSpaceOrClosingCharacter) {
    EXPECT_EQ(get_tagname_end("<ORVEL_X a>", 1), 8u);
    EXPECT_EQ(get_tagname_end("<ORVEL_X>", 1), 8u);
    EXPECT_EQ(get_tagname_end("<ORVEL_X\n", 1), 8u);
    EXPECT_EQ(get_tagname_end("<ORVEL_X", 1), npos);
}

TEST(TagDefScan, CompletedTagHasLeadingTextNameTextAndRest) {
    TagDef def;
    ASSERT_EQ(get_tag_def("before <ORVEL_ECHO A=1 B=two> after\n", def), -1);
    EXPECT_TRUE(def.has_leading);
    EXPECT_EQ(def.leading_text, "before ");
    EXPECT_EQ(def.tag_name(), "ORVEL_ECHO");
    EXPECT_EQ(def.tag_text(), "ORVEL_ECHO A=1 B=two");
    EXPECT_EQ(def.rest, 29u);
    EXPECT_EQ(def.depth, 0);

    reset_TagDef(def);
    ASSERT_EQ(get_tag_def("<ORVEL_ECHO>", def), -1);
    EXPECT_FALSE(def.has_leading);
    EXPECT_EQ(def.tag_text(), "ORVEL_ECHO");
}

TEST(TagDefScan, LineWithoutTagOrWithUnfinishedNameGivesZero) {
    TagDef def;
    EXPECT_EQ(get_tag_def("<p>plain %OVM_X</p>\n", def), 0);
    EXPECT_EQ(get_tag_def("text <ORVEL_ECHO", def), 0);
    EXPECT_EQ(def.depth, 0);
}

TEST(TagDefScan, QuotedClosingCharactersDoNotEndTheTag) {
    TagDef def;
    ASSERT_EQ(get_tag_def("<ORVEL_ECHO A=\"x>y\" B='>' C=\"it's\">z", def), -1);
    EXPECT_EQ(def.tag_text(), "ORVEL_ECHO A=\"x>y\" B='>' C=\"it's\"");
    EXPECT_EQ(std::string_view("<ORVEL_ECHO A=\"x>y\" B='>' C=\"it's\">z").substr(def.rest), "z");
}

TEST(TagDefScan, NestedTagCharactersAreCounted) {
    TagDef def;
    ASSERT_EQ(get_tag_def("<ORVEL_ECHO V=<b>bold</b>> tail", def), -1);
    EXPECT_EQ(def.tag_text(), "ORVEL_ECHO V=<b>bold</b>");
}

TEST(TagDefScan, TagOverThreeLinesKeepsItsLineBreaks) {
    TagDef def;
    EXPECT_EQ(get_tag_def("x <ORVEL_ECHO A=1\n", def), 1);
    EXPECT_EQ(get_tag_def("  B=\"<\"\n", def), 1);  // quoted: not counted
    EXPECT_EQ(get_tag_def("  C=3>end\n", def), -1);
    EXPECT_EQ(def.leading_text, "x ");
    EXPECT_EQ(def.tag_text(), "ORVEL_ECHO A=1\n  B=\"<\"\n  C=3");
    EXPECT_EQ(def.rest, 6u);
}

TEST(TagDefScan, RestOfOnlyLineBreaksIsNone) {
    TagDef def;
    ASSERT_EQ(get_tag_def("<ORVEL_QUIET>\r\n", def), -1);
    EXPECT_EQ(def.rest, npos);
    reset_TagDef(def);
    ASSERT_EQ(get_tag_def("<ORVEL_QUIET> \n", def), -1);
    EXPECT_EQ(def.rest, 13u);
}

TEST(TagDefScan, ConfiguredTagCharacters) {
    TagChars chars('[', ']');
    TagDef def;
    EXPECT_EQ(get_tag_def("<ORVEL_ECHO a>", def), 0);
    ASSERT_EQ(get_tag_def("a [ORVEL_ECHO X=[y]] <b>", def), -1);
    EXPECT_EQ(def.tag_text(), "ORVEL_ECHO X=[y]");
    EXPECT_EQ(def.leading_text, "a ");
}
