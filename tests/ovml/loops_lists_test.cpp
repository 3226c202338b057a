// Loops over things other than products: the counted range, words, notes,
// loop files, dictionary dumps, currencies and option codes, and the
// unknown loop type.
#include "loops_support.h"

#include <string>

using namespace loops_test;

namespace {

class LoopLists : public LoopTest {};
class LoopListFiles : public LoopFilesTest {};

}  // namespace

TEST_F(LoopLists, CountedRangeAndItsTotal) {
    EXPECT_EQ(render("<ORVEL_LOOP FIRST=2 LAST=4>%OVH_LOOP_COUNT</ORVEL_LOOP>"), "234");
    EXPECT_EQ(orvel("LOOP_TOTAL"), "5");
    // One pass when LAST is below FIRST; the total is still the next index.
    EXPECT_EQ(render("<ORVEL_LOOP FIRST=5 LAST=1>%OVH_LOOP_COUNT</ORVEL_LOOP>"), "5");
    EXPECT_EQ(orvel("LOOP_TOTAL"), "6");
    EXPECT_EQ(render("<ORVEL_LOOP>x</ORVEL_LOOP>"), "x");
    EXPECT_EQ(render("<ORVEL_LOOP FIRST=1 LAST=2>[<ORVEL_LOOP FIRST=7 LAST=8>%OVH_LOOP_COUNT</ORVEL_LOOP>"
                     "%OVH_LOOP_COUNT]</ORVEL_LOOP>"),
              "[781][782]");
    EXPECT_EQ(orvel("LOOP_TOTAL"), "3");
}

TEST_F(LoopLists, WordsAndNesting) {
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=WORDS SRC=\";x;;y\">%OVH_WORD_LOOP_COUNT=%OVH_WORD;</ORVEL_LOOP>"), "1=x;2=y;");
    EXPECT_EQ(orvel("WORD_LOOP_TOTAL"), "2");
    EXPECT_EQ(orvel("WORD"), "");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=WORD SRC=\"a;b\">%OVH_WORD<ORVEL_LOOP TYPE=WORD SRC=\"x;y;z\">"
                     "</ORVEL_LOOP>[%OVH_WORD]%OVH_WORD_LOOP_COUNT;</ORVEL_LOOP>"),
              "a[]1;b[]2;");
    EXPECT_EQ(orvel("WORD_LOOP_TOTAL"), "2");
    const std::string one = render("<ORVEL_LOOP TYPE=WORD SRC=\"p;q;r\" SIZE=1>%OVH_WORD</ORVEL_LOOP>");
    EXPECT_TRUE(one == "p" || one == "q" || one == "r") << one;
}

TEST_F(LoopLists, NotesInOrder) {
    add_unnamed_string(DICT_NOTES, "10% off");
    add_unnamed_string(DICT_NOTES, "Free shipping");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=NOTES>%OVH_NOTE_LOOP_COUNT. %OVH_NOTE;</ORVEL_LOOP>"),
              "1. 10% off;2. Free shipping;");
    EXPECT_EQ(orvel("NOTE_LOOP_TOTAL"), "2");
}

TEST_F(LoopListFiles, NoteListIsTheNoteLoopAndIsReported) {
    add_unnamed_string(DICT_NOTES, "n1");
    EXPECT_EQ(render("<ORVEL_NOTE_LIST>[%OVH_NOTE]</ORVEL_NOTE_LIST>"), "[n1]");
    EXPECT_NE(deprecations().find(": deprecated: <ORVEL_NOTE_LIST>; use <ORVEL_LOOP TYPE=NOTES> instead.\n"),
              std::string::npos);
}

TEST_F(LoopListFiles, FileLinesAndFields) {
    set_string(DICT_CONFIG, "STORE_NAME", "Shop");
    dir.write("data/list.txt", "# heading\nred;1;;big   # note\n\n%OVM_STORE_NAME;x\n");
    const std::string body = "%OVH_FILE_LOOP_COUNT:%OVH_LINE/%OVH_WORD1,%OVH_WORD2,%OVH_WORD3;";
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=FILE BASEDIR=\"" + dir.path() + "/data\" SRC=list.txt>" + body +
                     "</ORVEL_LOOP>"),
              "1:red;1;;big/red,1,big;2:%OVM_STORE_NAME;x/%OVM_STORE_NAME,x,;");
    EXPECT_EQ(orvel("FILE_LOOP_TOTAL"), "2");
    EXPECT_EQ(orvel("WORD1"), "");
    const std::string open = "<ORVEL_LOOP TYPE=FILE BASEDIR=\"" + dir.path() + "/data\" SRC=list.txt ";
    const std::string half = render(open + "SIZE=50%>%OVH_WORD1</ORVEL_LOOP>");
    EXPECT_TRUE(half == "red" || half == "%OVM_STORE_NAME") << half;
    EXPECT_EQ(orvel("FILE_LOOP_TOTAL"), "1");
    EXPECT_NE(render(open + "OVML=yes>%OVH_WORD1;</ORVEL_LOOP>").find("Shop;"), std::string::npos);
    EXPECT_EQ(render(open + "OVML=full>%OVH_WORD1;</ORVEL_LOOP>"), "red;Shop;");

    // Without BASEDIR the source is a loop file of the catalog.
    set_string(DICT_CONFIG, "CAT_DIR", dir.path());
    dir.write("loops/methods", "UPS;Ground\nFDX;Express\n");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=FILE SRC=methods>%OVH_WORD2;</ORVEL_LOOP>"), "Ground;Express;");
}

TEST_F(LoopListFiles, FileErrorsAndWordNumbering) {
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=FILE BASEDIR=/tmp SRC=../etc/passwd>x</ORVEL_LOOP>"),
              "<!-- filename /tmp/../etc/passwd is unsafe -->");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=FILE BASEDIR=" + dir.path() + " SRC=absent.txt>x</ORVEL_LOOP>"),
              "<!-- failed to read " + dir.path() + "/absent.txt -->");
    set_string(DICT_CONFIG, "CAT_DIR", dir.path());
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=FILE SRC=no_such_loop>x</ORVEL_LOOP>"),
              "<!-- failed to load loop source no_such_loop -->");

    // Fields are numbered up to 9999, then from 1 again.  A line read from
    // a file is too short for that many; a rendered source line is not.
    std::string fields;
    for (int i = 1; i <= 10001; ++i) fields += "f" + std::to_string(i) + ";";
    set_string(DICT_VARIABLES, "LONG", fields);
    dir.write("long.txt", "%OVV_LONG\n");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=FILE OVML=Full BASEDIR=" + dir.path() +
                     " SRC=long.txt>%OVH_WORD1/%OVH_WORD2/%OVH_WORD3/%OVH_WORD9999</ORVEL_LOOP>"),
              "f10000/f10001/f3/f9999");
}

TEST_F(LoopLists, DumpEntriesOfANamedRoot) {
    set_string(DICT_SHOPPER, "NAME", "Ann");
    set_integer(DICT_SHOPPER, "AGE", 30);
    set_string(DICT_ORVEL, "DUMP_KEY", "outer");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=DUMP ROOT=shopper>%OVH_DUMP_KEY=%OVH_DUMP_VAL;</ORVEL_LOOP>"),
              "NAME=Ann;AGE=30;");
    EXPECT_EQ(orvel("DUMP_KEY"), "outer");
    EXPECT_EQ(get_var(DICT_ORVEL, "DUMP_VAL"), nullptr);
    set_string(DICT_VARIABLES, "V", "1");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=DUMP>%OVH_DUMP_KEY</ORVEL_LOOP>"), "V");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=DUMP ROOT=nowhere>x</ORVEL_LOOP>"), "");
    // The self-closed form runs at once with no body.
    EXPECT_EQ(render("a<ORVEL_LOOP TYPE=DUMP ROOT=SHOPPER/>b"), "ab");
    EXPECT_EQ(orvel("ERROR"), "");
}

TEST_F(LoopLists, CurrenciesAndOptionCodes) {
    set_string(DICT_CURRENCY, "eur", "0.8712 @ Euro");
    set_string(DICT_CURRENCY, "gbp", "0.5871");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=currency>%OVH_WORD1 %OVH_WORD2 [%OVH_WORD3];</ORVEL_LOOP>"),
              "eur 0.87 [Euro];gbp 0.59 [];");
    EXPECT_EQ(orvel("WORD1"), "gbp");

    var *all = add_dict(DICT_OPTIONS, " ALL_OPTIONS");
    set_string(all, "L", "+2 @ Large");
    set_string(all, "RED", "*1.1 @ Red");
    set_string(all, "GIFT", "");
    var *colors = add_dict(DICT_OPTIONS, "COLORS");
    set_string(colors, "RED", "*1.1 @ Red");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=OPTIONS SRC=\"red;gift;x;l\">%OVH_WORD1=%OVH_WORD2;</ORVEL_LOOP>"),
              "RED=Red;L=Large;");
    EXPECT_EQ(orvel("WORD1"), "");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=OPTIONS GROUP=\"sizes;colors\">%OVH_WORD1;</ORVEL_LOOP>"), "RED;");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=OPTIONS>%OVH_WORD1;</ORVEL_LOOP>"), "L;RED;GIFT;");
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=OPTIONS GROUP=sizes>x</ORVEL_LOOP>"), "No options from given groups.");
}

TEST_F(LoopLists, UnknownTypeLeavesAComment) {
    EXPECT_EQ(render("<ORVEL_LOOP TYPE=bogus>x</ORVEL_LOOP>"), "<!-- Unknown loop type \"BOGUS\" -->");
    EXPECT_EQ(orvel("ERROR"), "Unknown loop type \"BOGUS\"");
}
