// Preference text: the line readers and their carriage-return rule, line
// splitting with the comment rule, and reading and writing NAME:value
// files, strings and texts.

#include "vars_test_util.h"

#include "vars/prefs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// A temporary file holding the given bytes, positioned at its start.
struct TempFile {
    explicit TempFile(const std::string &contents = {}) : f(std::tmpfile())
    {
        if (f && !contents.empty())
            std::fwrite(contents.data(), 1, contents.size(), f);
        if (f)
            std::rewind(f);
    }
    ~TempFile()
    {
        if (f)
            std::fclose(f);
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    std::string all()
    {
        std::rewind(f);
        std::string out;
        for (int c; (c = std::getc(f)) != EOF;)
            out.push_back(static_cast<char>(c));
        return out;
    }
    FILE *f;
};

// Restores the line-reader switch after a test that changes it.
struct FastFgets {
    explicit FastFgets(int on) : saved(fast_fgets) { fast_fgets = on; }
    ~FastFgets() { fast_fgets = saved; }
    int saved;
};

Strings read_all(FILE *f, std::size_t size)
{
    Strings lines;
    std::string line;
    while (my_fgets(line, size, f))
        lines.push_back(line);
    return lines;
}

// ---- line readers ----------------------------------------------------------------

TEST(MyFgets, LineEndsAndCarriageReturns)
{
    TempFile t("one\ntwo\r\nthree\rfour\r\rfive");
    EXPECT_EQ(read_all(t.f, PREF_LINE_MAX),
              (Strings{"one\n", "two\r\n", "three\n", "four\n", "\n", "five"}));
    std::string line = "stale";
    EXPECT_FALSE(my_fgets(line, PREF_LINE_MAX, t.f));
    EXPECT_TRUE(line.empty());
}

TEST(MyFgets, LoneCarriageReturnLeavesTheNextCharacterUnread)
{
    TempFile t("a\rb");
    std::string line;
    ASSERT_TRUE(my_fgets(line, PREF_LINE_MAX, t.f));
    EXPECT_EQ(line, "a\n");
    EXPECT_EQ(std::getc(t.f), 'b');
}

TEST(MyFgets, LongLinesComeInPieces)
{
    const std::string body(20, 'x');
    TempFile t(body + "\nend\n");
    EXPECT_EQ(read_all(t.f, 8), (Strings{"xxxxxxxx", "xxxxxxxx", "xxxx\n", "end\n"}));

    TempFile exact("1234567\r\nnext\n");  // CR fills the last place; LF comes alone
    EXPECT_EQ(read_all(exact.f, 8), (Strings{"1234567\r", "\n", "next\n"}));
}

TEST(MyFgets, EmptyFileAndNullFile)
{
    TempFile t;
    std::string line;
    EXPECT_FALSE(my_fgets(line, PREF_LINE_MAX, t.f));
    EXPECT_FALSE(my_fgets(line, PREF_LINE_MAX, nullptr));
}

TEST(MyFgets, FastModeReadsPlainLines)
{
    FastFgets fast(1);
    TempFile t("a\rb\r\nc\n");
    EXPECT_EQ(read_all(t.f, PREF_LINE_MAX), (Strings{"a\rb\r\n", "c\n"}));
}

TEST(FpReadLine, WholeLinesOfAnyLength)
{
    const std::string big(3 * PREF_LINE_MAX + 5, 'v');
    TempFile t("NAME:" + big + "\nx\ry\r\n");
    std::string line;
    ASSERT_TRUE(fp_read_line(line, t.f));
    EXPECT_EQ(line, "NAME:" + big + "\n");
    ASSERT_TRUE(fp_read_line(line, t.f));
    EXPECT_EQ(line, "x\n");
    ASSERT_TRUE(fp_read_line(line, t.f));
    EXPECT_EQ(line, "y\r\n");
    EXPECT_FALSE(fp_read_line(line, t.f));
}

// ---- splitting one line ------------------------------------------------------------

TEST(ExplodeColon, NameValueAndComment)
{
    PrefLine p;
    ASSERT_EQ(explode_colon(":=", '#', "  store_name = My Shop  # note\n", p), 0);
    EXPECT_EQ(p.name, "STORE_NAME");
    EXPECT_EQ(p.value, "My Shop");
    EXPECT_TRUE(p.has_comment);
    EXPECT_EQ(p.comment, " note\n");
}

TEST(ExplodeColon, OnlyTheFirstSeparatorSplits)
{
    PrefLine p;
    ASSERT_EQ(explode_colon(":", '#', "NOTE: a:b", p), 0);
    EXPECT_EQ(p.name, "NOTE");
    EXPECT_EQ(p.value, "a:b");
    EXPECT_FALSE(p.has_comment);
    ASSERT_EQ(explode_colon(":=", '#', "K=v:w", p), 0);
    EXPECT_EQ(p.name, "K");
    EXPECT_EQ(p.value, "v:w");
}

TEST(ExplodeColon, EscapedCommentCharacter)
{
    PrefLine p;
    ASSERT_EQ(explode_colon(":", '#', "COLOR:red\\#1", p), 0);
    EXPECT_EQ(p.value, "red#1");
    EXPECT_FALSE(p.has_comment);
    ASSERT_EQ(explode_colon(":", '#', "COLOR:red#1", p), 0);
    EXPECT_EQ(p.value, "red");
    EXPECT_EQ(p.comment, "1");
    ASSERT_EQ(explode_colon(":", '#', "A:x\\#y#z\\#", p), 0);
    EXPECT_EQ(p.value, "x#y");
    EXPECT_EQ(p.comment, "z\\#");
    // A backslash elsewhere stays.
    ASSERT_EQ(explode_colon(":", '#', "PATH:C:\\dir", p), 0);
    EXPECT_EQ(p.value, "C:\\dir");
}

TEST(ExplodeColon, LinesWithoutSeparator)
{
    PrefLine p;
    EXPECT_EQ(explode_colon(":", '#', "", p), -1);
    EXPECT_EQ(explode_colon(":", '#', "   \n", p), -1);
    EXPECT_EQ(explode_colon(":", '#', "# A:comment only", p), -1);
    EXPECT_EQ(explode_colon(":", '#', "no separator here", p), -1);
    EXPECT_EQ(explode_colon(":", '#', "X=1", p), -1);  // '=' is not in the set
}

TEST(ExplodeColon, EmptyNameAndNoCommentCharacter)
{
    PrefLine p;
    ASSERT_EQ(explode_colon(":", '#', ": value", p), 0);
    EXPECT_EQ(p.name, "");
    EXPECT_EQ(p.value, "value");
    ASSERT_EQ(explode_colon(":", '\0', "Subject: a # b", p), 0);
    EXPECT_EQ(p.name, "SUBJECT");
    EXPECT_EQ(p.value, "a # b");
    EXPECT_FALSE(p.has_comment);
}

// ---- whole files -------------------------------------------------------------------

TEST(FpParsePrefs, StoresTrimmedUpperCasedNames)
{
    TempFile t("  store_name = My Shop  # note\n"
               "# only a comment\n"
               "\n"
               "junk line\n"
               "EMAIL:me@example.com\n"
               "COLOR:red\\#1\n");
    DictHandle d("[PREFS]");
    EXPECT_EQ(fp_parse_prefs(t.f, d.get(), 1), 3);
    EXPECT_EQ(chain_names(d.get()), (Strings{"STORE_NAME", "EMAIL", "COLOR"}));
    EXPECT_EQ(var_string(d.get(), "STORE_NAME"), "My Shop");
    EXPECT_EQ(var_string(d.get(), "COLOR"), "red#1");
    EXPECT_EQ(get_var(d.get(), "EMAIL")->value->type, TYPE_STRING);
}

TEST(FpParsePrefs, OverwriteRule)
{
    DictHandle d("[PREFS]");
    set_string(d.get(), "A", "kept");
    TempFile t("A:file\nB:first\nB:second\n");
    EXPECT_EQ(fp_parse_prefs(t.f, d.get(), 0), 1);
    EXPECT_EQ(var_string(d.get(), "A"), "kept");
    EXPECT_EQ(var_string(d.get(), "B"), "first");

    TempFile again("A:file\nB:first\nB:second\n");
    EXPECT_EQ(fp_parse_prefs(again.f, d.get(), 1), 3);
    EXPECT_EQ(var_string(d.get(), "A"), "file");
    EXPECT_EQ(var_string(d.get(), "B"), "second");
}

TEST(FpParsePrefs, CarriageReturnLineEnds)
{
    TempFile t("A:1\rB:2\r\nC:3");
    DictHandle d("[PREFS]");
    EXPECT_EQ(fp_parse_prefs(t.f, d.get(), 1), 3);
    EXPECT_EQ(var_string(d.get(), "A"), "1");
    EXPECT_EQ(var_string(d.get(), "B"), "2");
    EXPECT_EQ(var_string(d.get(), "C"), "3");
}

TEST(FpParsePrefs, NullArguments)
{
    DictHandle d("[PREFS]");
    TempFile t("A:1\n");
    EXPECT_EQ(fp_parse_prefs(nullptr, d.get(), 1), -1);
    EXPECT_EQ(fp_parse_prefs(t.f, nullptr, 1), -1);
}

TEST(ParsePrefsString, SameRulesOverMemory)
{
    DictHandle d("[PREFS]");
    EXPECT_EQ(parse_prefs_string("a=1\r\nb : 2 # c\rno sep\nLAST=x", d.get(), true), 3);
    EXPECT_EQ(chain_names(d.get()), (Strings{"A", "B", "LAST"}));
    EXPECT_EQ(var_string(d.get(), "B"), "2");
    EXPECT_EQ(parse_prefs_string("A=9", d.get(), false), 0);
    EXPECT_EQ(var_string(d.get(), "A"), "1");

    DictHandle colon("[RULES]");
    EXPECT_EQ(parse_prefs_string("A=1\nB:2\n", colon.get(), true, ":", '#'), 1);
    EXPECT_EQ(chain_names(colon.get()), (Strings{"B"}));
    EXPECT_EQ(parse_prefs_string("A=1", nullptr, true), -1);
}

TEST(ParsePrefsText, ReadsEachStringAndLeavesTheTextAlone)
{
    char l1[] = "A = one # c", l2[] = "junk", l3[] = "B:two\n";
    textstring n3{l3, nullptr, nullptr};
    textstring n2{l2, nullptr, &n3};
    textstring n1{l1, nullptr, &n2};
    n2.previous = &n1;
    n3.previous = &n2;
    text t{&n1, &n3};

    DictHandle d("[PREFS]");
    EXPECT_EQ(Orvel_parse_prefs_from_text(&t, d.get(), 1), 2);
    EXPECT_EQ(var_string(d.get(), "A"), "one");
    EXPECT_EQ(var_string(d.get(), "B"), "two");
    EXPECT_STREQ(l1, "A = one # c");
    EXPECT_STREQ(l3, "B:two\n");
    EXPECT_EQ(Orvel_parse_prefs_from_text(nullptr, d.get(), 1), -1);
    EXPECT_EQ(Orvel_parse_prefs_from_text(&t, nullptr, 1), -1);
}

TEST(FpWritePrefs, OneLinePerEntryInOrder)
{
    DictHandle d("[PREFS]");
    set_integer(d.get(), "A", 1);
    set_none(d.get(), "B");
    set_float(d.get(), "C", 0.5);
    TempFile t;
    EXPECT_EQ(fp_write_prefs(t.f, d.get()), 3);
    EXPECT_EQ(t.all(), "A:1\nB:\nC:0.50\n");
    EXPECT_EQ(fp_write_prefs(nullptr, d.get()), -1);
}

TEST(FpWritePrefs, RoundTripThroughTheReader)
{
    DictHandle d("[PREFS]");
    set_string(d.get(), "URL", "http://host:8080/x=y");
    set_string(d.get(), "EMPTY", "");
    TempFile t;
    ASSERT_EQ(fp_write_prefs(t.f, d.get()), 2);
    std::rewind(t.f);
    DictHandle back("[BACK]");
    EXPECT_EQ(fp_parse_prefs(t.f, back.get(), 1), 2);
    EXPECT_EQ(var_string(back.get(), "URL"), "http://host:8080/x=y");
    EXPECT_TRUE(var_defined(back.get(), "EMPTY"));
}

}  // namespace
