// Comparison, search, changing text, wrapping and field tokenising.
#include "strings/strutil.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// ---- comparison and search ------------------------------------------------

TEST(Compare, SameAndPrefixSuffix)
{
    EXPECT_TRUE(strsame("abc", "abc"));
    EXPECT_FALSE(strsame("abc", "abC"));
    EXPECT_FALSE(strsame("abc", "ab"));
    EXPECT_TRUE(strisame("HeLLo", "hello"));
    EXPECT_FALSE(strisame("hello", "hello!"));
    EXPECT_FALSE(strisame("a[", "A{")); // '[' and '{' differ by the case bit but are not letters

    EXPECT_TRUE(strbeg("catalog", "cat"));
    EXPECT_FALSE(strbeg("cat", "catalog"));
    EXPECT_TRUE(stribeg("CATalog", "caT"));
    EXPECT_FALSE(stribeg("dog", "cat"));

    EXPECT_EQ(my_strend("image.GIF", ".GIF"), 5u);
    EXPECT_EQ(my_strend("image.GIF", ".gif"), npos);
    EXPECT_EQ(striend("image.GIF", ".gif"), 5u);
    EXPECT_EQ(striend("gif", ".gif"), npos);
}

TEST(Search, CaseInsensitiveSubstring)
{
    EXPECT_EQ(my_stristr("Hello World", "WORLD"), 6u);
    EXPECT_EQ(my_stristr("Hello World", "o w"), 4u);
    EXPECT_EQ(my_stristr("aaab", "AAB"), 1u);
    EXPECT_EQ(my_stristr("abc", "abcd"), npos);
    EXPECT_EQ(my_stristr("abc", ""), 0u);
    EXPECT_EQ(my_stristr("", "a"), npos);
}

TEST(Search, WholeWords)
{
    EXPECT_EQ(strword("cat concat cat_x cat", "cat"), 0u);
    EXPECT_EQ(strword("concat cat_x cat.", "cat"), 13u);
    EXPECT_EQ(strword("concat", "cat"), npos);
    EXPECT_EQ(striword("ConCat CAT", "cat"), 7u);

    EXPECT_EQ(strwordbeg("concat catalog", "cat"), 7u);
    EXPECT_EQ(striwordbeg("concat Catalog", "cat"), 7u);
    EXPECT_EQ(strwordend("catalog concat", "cat"), 11u);
    EXPECT_EQ(striwordend("catalog conCAT", "cat"), 11u);
    EXPECT_EQ(strwordend("catalog", "cat"), npos);
    // A digit or underscore counts as a word character.
    EXPECT_EQ(strword("1cat cat2 _cat", "cat"), npos);
}

TEST(Search, CharacterPositions)
{
    EXPECT_EQ(strcindex("abc", 'a'), 1);
    EXPECT_EQ(strcindex("abc", 'c'), 3);
    EXPECT_EQ(strcindex("abc", 'z'), 0);
    EXPECT_EQ(strcindex("", 'a'), 0);

    EXPECT_EQ(strlidx("a/b/c", '/'), 3);
    EXPECT_EQ(strlidx("a/b/c", '/', 2), 1);
    EXPECT_EQ(strlidx("a/b/c", '/', 3), 3);
    EXPECT_EQ(strlidx("a/b/c", '/', 0), -1);
    EXPECT_EQ(strlidx("a/b/c", '/', 100), 3);
    EXPECT_EQ(strlidx("abc", '/'), -1);

    EXPECT_EQ(strnth("a,b,c", 2, ','), 4u); // points at the c
    EXPECT_EQ(strnth("a,b,c", 1, ','), 2u);
    EXPECT_EQ(strnth("a,b,c", 3, ','), npos);
    EXPECT_EQ(strnth("a,b,c", 0, ','), 0u);
    EXPECT_EQ(strnth("a,b,c", -1, ','), 0u);

    EXPECT_EQ(chrcount("a,b,,c", ','), 3);
    EXPECT_EQ(chrcount("", ','), 0);
}

TEST(Search, SumsAndHashes)
{
    EXPECT_EQ(strsum("AB"), 65 + 66);
    EXPECT_EQ(strsum("\xff"), -1); // bytes count as signed
    EXPECT_EQ(my_strhash(""), 0u);
    EXPECT_EQ(my_strhash("A"), 65u);
    EXPECT_EQ(my_strhash("AB"), 65u ^ (66u << 1));
    // The shift wraps at 32 positions: character 32 shifts by 0 again.
    std::string s(33, '\0');
    s[0] = 1;
    s[32] = 1;
    EXPECT_EQ(my_strhash(s), 0u);
    s[32] = 2;
    EXPECT_EQ(my_strhash(s), 3u);
}

TEST(Predicates, SuffixWhiteBlank)
{
    EXPECT_EQ(strsuff("dir.d/file.tar.gz"), 15u);
    EXPECT_EQ(strsuff("README"), npos);

    EXPECT_TRUE(strwhite(""));
    EXPECT_TRUE(strwhite(" \t\r\n\v\f"));
    EXPECT_FALSE(strwhite("  x "));

    EXPECT_TRUE(is_blankline("\r\n"));
    EXPECT_TRUE(is_blankline("\n"));
    EXPECT_FALSE(is_blankline(""));
    EXPECT_FALSE(is_blankline(" \n"));
}

TEST(Predicates, Numeric)
{
    for (const char *yes : {"0", "12", "-3", "+4.5", ".", "5.", ".5", "-.5", "007"})
        EXPECT_TRUE(is_numeric(yes)) << yes;
    for (const char *no : {"", "-", "+", "1.2.3", "1e5", " 1", "1 ", "--1", "0x1", "1-"})
        EXPECT_FALSE(is_numeric(no)) << no;
}

TEST(Predicates, Truth)
{
    for (const char *no : {"0", "0.00", "-0", "+0.", ".", ""})
        EXPECT_FALSE(is_true(no)) << no;
    for (const char *yes : {"1", "0.01", "-2", "00x", "no", "false", " ", "0 "})
        EXPECT_TRUE(is_true(yes)) << yes;
}

// ---- changing text ----------------------------------------------------------

TEST(Change, CopyUntilAndCase)
{
    EXPECT_EQ(strdupuntil("name:value", 4), "name");
    EXPECT_EQ(strdupuntil("name:value", npos), "");
    EXPECT_EQ(strdupuntil("abc", 0), "");

    std::string s = "Mixed Case 123 _x";
    EXPECT_EQ(UPPERCASE(s), "MIXED CASE 123 _X");
    EXPECT_EQ(s, "MIXED CASE 123 _X");
    EXPECT_EQ(lowercase(s), "mixed case 123 _x");
    EXPECT_EQ(upper("\xe9t\xe9"), "\xe9T\xe9"); // bytes outside ASCII untouched
    EXPECT_EQ(lower("ABC[]"), "abc[]");
}

TEST(Change, CapitalizeWords)
{
    std::string s = "the quick-brown fox\tjumps  over o'neil 42nd (street)";
    EXPECT_EQ(Orvel_Capitalize_words(s), "The Quick-brown Fox\tJumps  Over O'neil 42nd (Street)");
    std::string t = "  leading";
    EXPECT_EQ(Orvel_Capitalize_words(t), "  Leading");
}

TEST(Change, CapitalizeSentences)
{
    std::string s = "hello there. how are you? fine!great... ok";
    EXPECT_EQ(Orvel_Capitalize_sentences(s), "Hello there. How are you? Fine!Great... Ok");
    std::string t = "\"quoted\" start";
    EXPECT_EQ(Orvel_Capitalize_sentences(t), "\"Quoted\" start");
}

TEST(Change, CharacterSubstitution)
{
    std::string s = "a-b-c";
    EXPECT_EQ(chrsub(s, '-', '+'), "a+b+c");
    std::string t = "Xaxbx";
    EXPECT_EQ(chrisub(t, 'x', '_'), "_a_b_");

    EXPECT_EQ(chrsqz("a  b   c ", ' ', '_'), "a_b_c_");
    EXPECT_EQ(chrsqz(",,a,,", ',', ';'), ";a;");
    EXPECT_EQ(chrsqz("", ',', ';'), "");

    EXPECT_EQ(strstrip("(555) 123-4567", "()- "), "5551234567");
    EXPECT_EQ(strstripc("(555) 123-4567", "0123456789"), "5551234567");
    EXPECT_EQ(strstripc("abc", ""), "");
}

TEST(Change, StringSubstitution)
{
    EXPECT_EQ(strsub("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(strsub("aaa", "a", "aa"), "aaaaaa"); // replacement not rescanned
    EXPECT_EQ(strsub("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(strsub("abc", "x", "y"), "abc");
    EXPECT_EQ(strsub("abc", "", "y"), "abc");
    EXPECT_EQ(strsub("abc", "abc", ""), "");
    EXPECT_EQ(strisub("Foo foo FOO", "foo", "bar"), "bar bar bar");
    EXPECT_EQ(strisub("xXx", "X", "x"), "xxx");
}

TEST(Change, LineBreakEscaping)
{
    std::string s = "a\r\nb\tc";
    EXPECT_EQ(squeeze_nl(s), "a  b\tc");

    std::string e = "line1\r\nline2\n";
    EXPECT_EQ(escape_nl(e), "line1\a\tline2\t");
    EXPECT_EQ(unescape_nl(e), "line1\r\nline2\n");
    // A tab stored in a one-line value comes back as a line feed.
    std::string tab = "a\tb";
    escape_nl(tab);
    EXPECT_EQ(unescape_nl(tab), "a\nb");
}

TEST(Change, Trimming)
{
    EXPECT_EQ(triml("xxabxx", 'x'), "abxx");
    EXPECT_EQ(trimr("xxabxx", 'x'), "xxab");
    EXPECT_EQ(trim("xxabxx", 'x'), "ab");
    EXPECT_EQ(trim("xxxx", 'x'), "");
    EXPECT_EQ(triml_ws(" \t a b \n"), "a b \n");
    EXPECT_EQ(trimr_ws(" \t a b \n"), " \t a b");
    EXPECT_EQ(trim_ws("\v\f a b \r"), "a b");
    EXPECT_EQ(trim_ws("   "), "");
    EXPECT_EQ(triml_nl("\r\n\nabc\n"), "abc\n");
    EXPECT_EQ(trimr_nl("abc \r\n\r"), "abc ");
    EXPECT_EQ(chop_nl("abc\n"), "abc");

    // The results are views into the argument, not copies.
    std::string s = "  inner  ";
    std::string_view v = trim_ws(s);
    EXPECT_EQ(v.data(), s.data() + 2);
}

TEST(Change, QuoteHtmlSpecials)
{
    EXPECT_EQ(quote_html_specials("<a href=\"x\">Tom's & co</a>"),
              "&lt;a href=&quot;x&quot;&gt;Tom&apos;s &amp; co&lt;/a&gt;");
    EXPECT_EQ(quote_html_specials("a\tb\rc\nd"), "a b c d");
    EXPECT_EQ(quote_html_specials(""), "");
}

TEST(Change, FixedWidth)
{
    EXPECT_EQ(fixwidth_left("ab", 5, '.'), "ab...");
    EXPECT_EQ(fixwidth_left("ab", -5, '.'), "ab...");
    EXPECT_EQ(fixwidth_left("abcdef", 3, '.'), "abc");
    EXPECT_EQ(fixwidth_left("abcdef", -3, '.'), "abcdef");
    EXPECT_EQ(fixwidth_left("abc", 0, '.'), "abc");
    EXPECT_EQ(fixwidth_left("abc", 3, '.'), "abc");

    EXPECT_EQ(fixwidth_right("ab", 5, ' '), "   ab");
    EXPECT_EQ(fixwidth_right("ab", -5, ' '), "   ab");
    EXPECT_EQ(fixwidth_right("abcdef", 3, ' '), "def");
    EXPECT_EQ(fixwidth_right("abcdef", -3, ' '), "abcdef");
    EXPECT_EQ(fixwidth_right("abc", 0, ' '), "abc");
}

// ---- wrapping -----------------------------------------------------------------

TEST(Wrap, ShortTextIsCopied)
{
    EXPECT_EQ(strwrap("short text", 20, -1, false, ' ', "", ""), "short text");
    // A width of 9 or less means 80.
    std::string seventy(70, 'x');
    EXPECT_EQ(strwrap(seventy, 5, -1, false, ' ', "", ""), seventy);
}

// Width 20: lines hold at most 19 characters; a space must lie above
// index 19 - 19/4 = 15 to be used as the break.
const std::string a16(16, 'a');
const std::string a15(15, 'a');

TEST(Wrap, BreaksAtLastSpaceBeforeWidth)
{
    EXPECT_EQ(strwrap(a16 + " bbbb cccc", 20, -1, false, ' ', "", ""), a16 + "\nbbbb cccc");
    // Of several spaces the last one at or before index 19 is taken.
    EXPECT_EQ(strwrap(a15 + " b dd eeeeeeeee", 20, -1, false, ' ', "", ""),
              a15 + " b\ndd eeeeeeeee");
}

TEST(Wrap, HardBreakWhenSpaceTooEarly)
{
    // Space at index 15 is not above the threshold: cut hard at 19.
    EXPECT_EQ(strwrap(a15 + " bbbbbbbbbb", 20, -1, false, ' ', "", ""), a15 + " bbb\nbbbbbbb");
    // An explicit min_break accepts an earlier space.
    EXPECT_EQ(strwrap(a15 + " bbbbbbbbbb", 20, 14, false, ' ', "", ""), a15 + "\nbbbbbbbbbb");
    EXPECT_EQ(strwrap(a15 + " bbbbbbbbbb", 20, 15, false, ' ', "", ""), a15 + " bbb\nbbbbbbb");
    // Width 10 (threshold 7): no usable space, then none at all.
    EXPECT_EQ(strwrap("ab cdefghijklmnop", 10, -1, false, ' ', "", ""), "ab cdefgh\nijklmnop");
    EXPECT_EQ(strwrap("abcdefghijklmnopqrst", 10, -1, false, ' ', "", ""), "abcdefghi\njklmnopqr\nst");
    EXPECT_EQ(strwrap("ab cdefghijklmnop", 10, 1, false, ' ', "", ""), "ab\ncdefghijk\nlmnop");
}

TEST(Wrap, SkipsLeadingWhitespaceOfNextLine)
{
    // The break is the last space (index 18); blanks before it stay on the
    // line, the tab and blanks after it are skipped.
    EXPECT_EQ(strwrap(a16 + "   \t bbbb", 20, -1, false, ' ', "", ""), a16 + "  \nbbbb");
}

TEST(Wrap, PadPrefixSuffix)
{
    EXPECT_EQ(strwrap(a16 + " bbbb cccc", 20, -1, true, '.', "> ", " <"),
              "> " + a16 + "... <\n> bbbb cccc.......... <");
    // A hard break is never padded (it is already full); the rest is.
    EXPECT_EQ(strwrap("abcdefghijk", 10, -1, true, '.', "", "|"), "abcdefghi|\njk.......|");
    EXPECT_EQ(strwrap("short", 10, -1, false, ' ', "# ", ""), "# short");
}

TEST(Wrap, DefaultWidthWithLongText)
{
    std::string word = "word ";
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += word;
    std::string out = strwrap(text, 0, -1, false, ' ', "", "");
    std::size_t start = 0;
    int lines = 0;
    while (start <= out.size()) {
        std::size_t nl = out.find('\n', start);
        std::size_t len = (nl == npos ? out.size() : nl) - start;
        EXPECT_LE(len, 79u);
        ++lines;
        if (nl == npos)
            break;
        start = nl + 1;
    }
    EXPECT_GT(lines, 5);
    EXPECT_NE(out.back(), '\n');
}

// ---- fields -------------------------------------------------------------------

TEST(Fields, ProdntokDropsQuotes)
{
    std::string out;
    EXPECT_EQ(prodntok("\"Blue, large\"|12.50", '|', out, 100), 12);
    EXPECT_EQ(out, "Blue, large");
    EXPECT_EQ(prodntok("12.50|next", '|', out, 100), 5);
    EXPECT_EQ(out, "12.50");
}

TEST(Fields, ProdntokStopsAtLineEndAndMax)
{
    std::string out = "stale";
    EXPECT_EQ(prodntok("abc\r\nrest", '|', out, 100), 3);
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(prodntok("abcdefgh|x", '|', out, 4), 4);
    EXPECT_EQ(out, "abcd");
    EXPECT_EQ(prodntok("|x", '|', out, 10), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(prodntok("", '|', out, 10), 0);
    EXPECT_EQ(out, "");
    // Only one leading and one trailing quote go.
    EXPECT_EQ(prodntok("\"\"a\"\"", '|', out, 10), 4);
    EXPECT_EQ(out, "\"a\"");
}

TEST(Fields, StrquotFindsMatchingCloser)
{
    QuotePositions q;
    EXPECT_EQ(strquot("no quotes", q, "\"'", "\"'"), 1);
    EXPECT_EQ(q.open, npos);

    EXPECT_EQ(strquot("say 'hi' now", q, "\"'", "\"'"), 0);
    EXPECT_EQ(q.open, 4u);
    EXPECT_EQ(q.close, 7u);

    EXPECT_EQ(strquot("f(a(b)c)d", q, "([", ")]"), 0);
    EXPECT_EQ(q.open, 1u);
    EXPECT_EQ(q.close, 7u);

    EXPECT_EQ(strquot("x[1] (y)", q, "([", ")]"), 0);
    EXPECT_EQ(q.open, 1u);
    EXPECT_EQ(q.close, 3u);
}

TEST(Fields, StrquotEscapesAndMissingCloser)
{
    QuotePositions q;
    EXPECT_EQ(strquot(R"(\"a "b\"c" d)", q, "\"", "\""), 0);
    EXPECT_EQ(q.open, 4u);
    EXPECT_EQ(q.close, 9u);

    EXPECT_EQ(strquot("(a(b)", q, "(", ")"), -1);
    EXPECT_EQ(q.open, 0u);
    EXPECT_EQ(q.close, npos);

    EXPECT_EQ(strquot(R"((a\))", q, "(", ")"), -1);
    EXPECT_EQ(strquot(R"(\(a))", q, "(", ")"), 1);
}

} // namespace

TEST(Fields, SplitListKeepsEmptyPieces)
{
    using V = std::vector<std::string_view>;
    EXPECT_EQ(split_list("a;;b", ';'), (V{"a", "", "b"}));
    EXPECT_EQ(split_list(";a;", ';'), (V{"", "a", ""}));
    EXPECT_EQ(split_list("one", ';'), (V{"one"}));
    EXPECT_TRUE(split_list("", ';').empty());
}
