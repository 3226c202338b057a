// Byte streams and texts (the C list of owned strings).
#include "strings/stream.h"

#include <orvel.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---- Stream ----------------------------------------------------------------

TEST(Stream, ZeroCapacityGrowsToEightOnFirstCharacter)
{
    Stream s(0);
    EXPECT_EQ(s.capacity(), 0u);
    s.putc('x');
    EXPECT_EQ(s.capacity(), 8u);
    EXPECT_EQ(s.length(), 1u);
    EXPECT_EQ(s.view(), "x");
}

TEST(Stream, CharacterAppendsGrowByEightWhenFull)
{
    Stream s(8);
    for (int i = 0; i < 7; ++i)
        s.putc('a');
    EXPECT_EQ(s.capacity(), 8u); // length 6 + 1 was still below 8
    s.putc('b');                 // length 7 + 1 reaches the capacity
    EXPECT_EQ(s.capacity(), 15u);
    EXPECT_EQ(s.view(), "aaaaaaab");
}

TEST(Stream, StringAppendsDoubleOrFitExactly)
{
    Stream s(10);
    s.puts("abc");
    EXPECT_EQ(s.capacity(), 10u);
    s.puts("1234567"); // 3 + 7 is not below 10: doubles to 20
    EXPECT_EQ(s.capacity(), 20u);
    EXPECT_EQ(s.view(), "abc1234567");

    Stream t(4);
    t.puts("twenty characters!!!"); // doubling (8) is too little: 0 + 20 + 1
    EXPECT_EQ(t.capacity(), 21u);
    EXPECT_EQ(t.view(), "twenty characters!!!");
}

TEST(Stream, MixedAppendsKeepEveryCharacter)
{
    Stream s;
    std::string expect;
    for (int i = 0; i < 2000; ++i) {
        char c = static_cast<char>('a' + i % 26);
        s.putc(c);
        expect += c;
        std::string piece(static_cast<std::size_t>(i % 13), static_cast<char>('A' + i % 26));
        s.puts(piece);
        expect += piece;
        if (i % 100 == 0) {
            s.printf("<%d:%s>", i, "p");
            expect += "<" + std::to_string(i) + ":p>";
        }
    }
    EXPECT_EQ(s.length(), expect.size());
    EXPECT_EQ(s.view(), expect);
    EXPECT_EQ(s.empty(), expect);
}

TEST(Stream, PrintfAppendsLongValuesWhole)
{
    Stream s(16);
    s.puts("head:");
    std::string big(20000, 'z');
    s.printf("%s|%05d", big.c_str(), 42);
    EXPECT_EQ(s.view(), "head:" + big + "|00042");
    EXPECT_GT(s.capacity(), s.length());
}

TEST(Stream, EmptyHandsOverContentsAndLeavesStreamEmpty)
{
    Stream fresh(32);
    EXPECT_EQ(fresh.empty(), "");

    Stream s;
    s.puts("hello");
    s.putc('!');
    EXPECT_EQ(s.empty(), "hello!");
    EXPECT_EQ(s.length(), 0u);
    s.puts("again");
    EXPECT_EQ(s.view(), "again");
}

TEST(Stream, ResetReturnsOldContentsAndRestarts)
{
    Stream s;
    s.puts("first");
    std::size_t cap = s.capacity();
    std::string_view old = s.reset();
    EXPECT_EQ(old, "first");
    EXPECT_EQ(s.length(), 0u);
    EXPECT_EQ(s.capacity(), cap);
    s.putc('X');
    EXPECT_EQ(s.view(), "X");
}

TEST(Stream, GrowKeepsContents)
{
    Stream s(2);
    s.puts("ab");
    s.grow(100);
    EXPECT_EQ(s.capacity(), 100u);
    EXPECT_EQ(s.view(), "ab");
}

// ---- texts -------------------------------------------------------------------

char *dup(const char *s) { return strdup(s); }

std::vector<std::string> strings_of(const text *t)
{
    std::vector<std::string> out;
    for (const textstring *n = t->first; n; n = n->next)
        out.emplace_back(n->string);
    return out;
}

// Walks backwards too, so broken previous links show up.
std::vector<std::string> strings_backwards(const text *t)
{
    std::vector<std::string> out;
    for (const textstring *n = t->last; n; n = n->previous)
        out.insert(out.begin(), n->string);
    return out;
}

using Strings = std::vector<std::string>;

TEST(Text, NewTextIsEmptyOrHoldsTheString)
{
    text *empty = new_text(nullptr);
    EXPECT_EQ(empty->first, nullptr);
    EXPECT_EQ(empty->last, nullptr);
    EXPECT_EQ(text_length(empty), 0);
    free_text(empty);

    char *s = dup("one");
    text *t = new_text(s);
    ASSERT_NE(t->first, nullptr);
    EXPECT_EQ(t->first, t->last);
    EXPECT_EQ(t->first->string, s); // taken over, not copied
    EXPECT_EQ(text_length(t), 1);
    free_text(t);
}

TEST(Text, AddStringAppendsInOrderWithLinks)
{
    text *t = new_text(nullptr);
    textstring *a = text_addstring(t, dup("a"));
    textstring *b = text_addstring(t, dup("b"));
    textstring *c = text_addstring(t, dup("c"));
    EXPECT_EQ(t->first, a);
    EXPECT_EQ(t->last, c);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(c->previous, b);
    EXPECT_EQ(a->previous, nullptr);
    EXPECT_EQ(c->next, nullptr);
    EXPECT_EQ(text_length(t), 3);
    EXPECT_EQ(strings_backwards(t), (Strings{"a", "b", "c"}));
    free_text(t);
}

TEST(Text, DeleteUnlinksFirstMiddleAndLast)
{
    text *t = new_text(nullptr);
    textstring *a = text_addstring(t, dup("a"));
    textstring *b = text_addstring(t, dup("b"));
    textstring *c = text_addstring(t, dup("c"));
    textstring *d = text_addstring(t, dup("d"));

    text_delete(t, b);
    EXPECT_EQ(strings_of(t), (Strings{"a", "c", "d"}));
    EXPECT_EQ(strings_backwards(t), (Strings{"a", "c", "d"}));
    // The removed node keeps its links so a walker can continue from it.
    EXPECT_EQ(b->next, c);
    EXPECT_EQ(b->previous, a);
    free_textstring(b);

    text_delete(t, a);
    EXPECT_EQ(t->first, c);
    EXPECT_EQ(c->previous, nullptr);
    free_textstring(a);

    text_delete(t, d);
    EXPECT_EQ(t->last, c);
    EXPECT_EQ(c->next, nullptr);
    free_textstring(d);

    text_delete(t, c);
    EXPECT_EQ(t->first, nullptr);
    EXPECT_EQ(t->last, nullptr);
    free_textstring(c);
    free_text(t);
}

TEST(Text, DeleteOfForeignNodeChangesNothing)
{
    text *t = new_text(dup("a"));
    text_addstring(t, dup("b"));
    text *other = new_text(dup("x"));
    textstring *foreign = other->first;

    text_delete(t, foreign);
    EXPECT_EQ(strings_of(t), (Strings{"a", "b"}));
    EXPECT_EQ(strings_backwards(t), (Strings{"a", "b"}));
    EXPECT_EQ(other->first, foreign);

    textstring *loose = new_textstring(dup("loose"));
    text_delete(t, loose);
    EXPECT_EQ(text_length(t), 2);
    free_textstring(loose);
    free_text(other);
    free_text(t);
}

TEST(Text, EraseEmptiesAndTextStaysUsable)
{
    text *t = new_text(dup("a"));
    text_addstring(t, dup("b"));
    text_erase(t);
    EXPECT_EQ(t->first, nullptr);
    EXPECT_EQ(t->last, nullptr);
    text_addstring(t, dup("c"));
    EXPECT_EQ(strings_of(t), (Strings{"c"}));
    free_text(t);
}

TEST(Text, ToStringConcatenatesInOrder)
{
    text *t = new_text(nullptr);
    char *s = text_tostring(t);
    EXPECT_STREQ(s, "");
    free(s);

    text_addstring(t, dup("ab"));
    text_addstring(t, dup(""));
    std::string long_piece(1000, 'q');
    text_addstring(t, dup(long_piece.c_str()));
    text_addstring(t, dup("\n"));
    s = text_tostring(t);
    EXPECT_EQ(std::string(s), "ab" + long_piece + "\n");
    free(s);
    free_text(t);
}

TEST(Text, FprintWritesAllStrings)
{
    text *t = new_text(dup("one\n"));
    text_addstring(t, dup("two"));
    char *buf = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&buf, &size);
    ASSERT_NE(out, nullptr);
    text_fprint(out, t);
    fclose(out);
    EXPECT_EQ(std::string(buf, size), "one\ntwo");
    free(buf);
    free_text(t);
}

Strings broken(std::initializer_list<const char *> pieces)
{
    text *t = new_text(nullptr);
    for (const char *p : pieces)
        text_addstring(t, dup(p));
    text *lines = break_text(t);
    Strings out = strings_of(lines);
    EXPECT_EQ(strings_backwards(lines), out);
    free_text(lines);
    free_text(t);
    return out;
}

TEST(BreakText, JoinsPiecesAcrossStrings)
{
    EXPECT_EQ(broken({"ab\nc", "d\r\n"}), (Strings{"ab", "cd"}));
    EXPECT_EQ(broken({"a", "", "b", "c\nd"}), (Strings{"abc", "d"}));
}

TEST(BreakText, KeepsCharactersAfterLastLineFeed)
{
    EXPECT_EQ(broken({"x\ny"}), (Strings{"x", "y"}));
    EXPECT_EQ(broken({"x\n"}), (Strings{"x"}));
    EXPECT_EQ(broken({}), Strings{});
    EXPECT_EQ(broken({"", ""}), Strings{});
}

TEST(BreakText, CarriageReturnOnlyDroppedBeforeLineFeed)
{
    EXPECT_EQ(broken({"a\r\nb\rc\n"}), (Strings{"a", "b\rc"}));
    EXPECT_EQ(broken({"a\r", "\nb"}), (Strings{"a", "b"})); // CR LF split across strings
    EXPECT_EQ(broken({"tail\r"}), (Strings{"tail\r"}));
}

TEST(BreakText, EmptyLinesAreKept)
{
    EXPECT_EQ(broken({"a\n\n\r\nb"}), (Strings{"a", "", "", "b"}));
}

Strings words(const char *s, char sep)
{
    text *t = to_words(s, sep);
    Strings out = strings_of(t);
    free_text(t);
    return out;
}

TEST(ToWords, SplitsOnRunsOfSeparators)
{
    EXPECT_EQ(words(";a;;b;", ';'), (Strings{"a", "b"}));
    EXPECT_EQ(words("one   two ", ' '), (Strings{"one", "two"}));
    EXPECT_EQ(words("a;b;c", ';'), (Strings{"a", "b", "c"}));
}

TEST(ToWords, DegenerateInputs)
{
    EXPECT_EQ(words(";;", ';'), (Strings{""}));
    EXPECT_EQ(words("", ';'), Strings{});
    EXPECT_EQ(words(nullptr, ';'), Strings{});
    EXPECT_EQ(words(";a b;", '\0'), (Strings{";a b;"}));
}

} // namespace
