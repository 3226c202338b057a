// Positional numbers, digit-pair encoding, alphabet walking and the
// alphabet scrambler.
#include "strings/encodings.h"
#include "strings/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace {

TEST(EncodingsBase, ToBase)
{
    EXPECT_EQ(Orvel_tobaseXX(255, 16), "FF");
    EXPECT_EQ(Orvel_tobaseXX(61, 62), "z");
    EXPECT_EQ(Orvel_tobaseXX(62, 62), "10");
    EXPECT_EQ(Orvel_tobaseXX(0, 10), "");
    EXPECT_EQ(Orvel_tobaseXX(5, 2), "101");
    EXPECT_EQ(Orvel_tobaseXX(1234567890, 10), "1234567890");
    EXPECT_FALSE(Orvel_tobaseXX(-1, 10));
    EXPECT_FALSE(Orvel_tobaseXX(10, 1));
    EXPECT_FALSE(Orvel_tobaseXX(10, 63));
}

TEST(EncodingsBase, FromBase)
{
    // Digits are not compared with the base: lower-case letters are 36..61.
    EXPECT_EQ(Orvel_frombaseXX("ff", 16), 16 * 41 + 41);
    EXPECT_EQ(Orvel_frombaseXX("FF", 16), 255);
    EXPECT_EQ(Orvel_frombaseXX("z", 62), 61);
    EXPECT_EQ(Orvel_frombaseXX("", 16), 0);
    EXPECT_EQ(Orvel_frombaseXX("12", 1), -1);
    EXPECT_EQ(Orvel_frombaseXX("12", 63), -1);
    EXPECT_EQ(Orvel_frombaseXX("-1", 10), -1);
    EXPECT_EQ(Orvel_frombaseXX("1 2", 10), -1);
}

TEST(EncodingsBase, RoundTripEveryBase)
{
    const long numbers[] = {1, 7, 61, 62, 255, 99999999, 1700000000L, 2147483647L, 4000000000000L};
    for (int base = 2; base <= 62; ++base)
        for (long n : numbers) {
            auto text = Orvel_tobaseXX(n, base);
            ASSERT_TRUE(text) << base;
            EXPECT_EQ(Orvel_frombaseXX(*text, base), n) << "base " << base << " text " << *text;
        }
}

TEST(EncodingsPairs, ByteToPair)
{
    EXPECT_EQ(int_to_baseXX_string(255, 16), "FF");
    EXPECT_EQ(int_to_baseXX_string(0, 16), "00");
    EXPECT_EQ(int_to_baseXX_string(65, 50), "1F");
    EXPECT_EQ(int_to_baseXX_string(-1, 16), "FF");  // a signed char 0xFF is byte 255
    // 225 / 15 is 15, equal to the base: still written.
    EXPECT_EQ(int_to_baseXX_string(225, 15), "F0");
    // 240 / 15 is 16, above the base.
    EXPECT_EQ(int_to_baseXX_string(240, 15), "??");
    EXPECT_EQ(int_to_baseXX_string(255, 2), "??");
    EXPECT_EQ(int_to_baseXX_string(1, 0), "??");
    EXPECT_EQ(int_to_baseXX_string(1, 63), "??");
}

TEST(EncodingsPairs, PairToByte)
{
    EXPECT_EQ(baseXX_string_to_int("FF", 16), 255);
    EXPECT_EQ(baseXX_string_to_int("1F", 50), 65);
    EXPECT_EQ(baseXX_string_to_int("zz", 62), 61 * 62 + 61);
    EXPECT_EQ(baseXX_string_to_int("F", 16), 0);
    EXPECT_EQ(baseXX_string_to_int("FFF", 16), 0);
    EXPECT_EQ(baseXX_string_to_int("F?", 16), 0);
    EXPECT_EQ(baseXX_string_to_int("FF", 63), 0);
}

TEST(EncodingsPairs, EncodeDecode)
{
    EXPECT_EQ(encode_baseXX_string("A", 16), "41");
    EXPECT_EQ(decode_baseXX_string("41", 16), "A");
    EXPECT_EQ(encode_baseXX_string("", 16), "");
    EXPECT_EQ(decode_baseXX_string("", 16), "");
    EXPECT_EQ(encode_baseXX_string("Hi!", 16), "486921");
    EXPECT_FALSE(encode_baseXX_string("A", 1));
    EXPECT_FALSE(encode_baseXX_string("A", 63));

    EXPECT_FALSE(decode_baseXX_string("414", 16));   // odd length
    EXPECT_FALSE(decode_baseXX_string("41", 0));
    EXPECT_FALSE(decode_baseXX_string("4?", 16));    // outside the alphabet
    EXPECT_FALSE(decode_baseXX_string("41 1", 16));
    EXPECT_FALSE(decode_baseXX_string("zz", 16));    // 1037 is not a byte
    EXPECT_FALSE(decode_baseXX_string("??", 2));     // what a too-small base writes
}

TEST(EncodingsPairs, RoundTripAllBytes)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    for (int base : {16, 50, 62}) {
        auto encoded = encode_baseXX_string(all, base);
        ASSERT_TRUE(encoded);
        EXPECT_EQ(encoded->size(), 512u);
        auto decoded = decode_baseXX_string(*encoded, base);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, all) << "base " << base;  // including the NUL byte
        for (int b = 0; b < 256; ++b)
            EXPECT_EQ(baseXX_string_to_int(int_to_baseXX_string(b, base), base), b) << base;
    }
}

TEST(EncodingsText, Reverse)
{
    EXPECT_EQ(Orvel_strreverse("abc"), "cba");
    EXPECT_EQ(Orvel_strreverse("a"), "a");
    EXPECT_EQ(Orvel_strreverse(""), "");
    EXPECT_EQ(Orvel_strreverse(std::string("a\0b", 3)), std::string("b\0a", 3));
}

TEST(EncodingsWalk, TraverseString)
{
    const std::string_view a = "abcdef";
    EXPECT_EQ(traverse_string(a, 0, 2), 'c');
    EXPECT_EQ(traverse_string(a, 4, 3), 'b');     // wraps past the end
    EXPECT_EQ(traverse_string(a, 1, -2), 'f');    // wraps past the start
    EXPECT_EQ(traverse_string(a, 6, 1), 'b');     // start beyond the end: first character
    EXPECT_EQ(traverse_string(a, 99, 0), 'a');
    EXPECT_EQ(traverse_string(a, 0, 6000001), 'b');
    EXPECT_EQ(traverse_string(a, 0, -6000001), 'f');
    EXPECT_EQ(traverse_string("", 0, 3), 0);

    const std::string_view mixed = "a-+b";
    EXPECT_EQ(traverse_string(mixed, 0, 1), '-');
    EXPECT_EQ(traverse_string(mixed, 0, 1, true), 'b');
    EXPECT_EQ(traverse_string(mixed, 3, -2, true), 'b');
    EXPECT_EQ(traverse_string("b-+", 0, 1, true), 'b');  // wraps forward to a letter
    EXPECT_EQ(traverse_string("-+", 0, 1, true), 0);     // no letter or digit at all
}

// Reads a scrambled text back: the first character gives the random start c;
// the place of every later character is the running sum modulo the alphabet
// length, so the difference of neighbouring places, less c and the position,
// is the digit's place in the sorted alphabet.
std::optional<std::string> unscramble(std::string_view out, std::string_view alphabet, int base)
{
    std::string sorted(alphabet);
    std::sort(sorted.begin(), sorted.end());
    const long len = static_cast<long>(alphabet.size());
    const long c = static_cast<long>(alphabet.find(out[0]));
    if (out[1] != alphabet[static_cast<std::size_t>((base + c) % len)]) return std::nullopt;
    std::string digits;
    long previous = 0;
    for (std::size_t e = 2; e < out.size(); ++e) {
        long place = static_cast<long>(alphabet.find(out[e]));
        long k = (((place - previous - c - static_cast<long>(e)) % len) + len) % len;
        digits.push_back(sorted[static_cast<std::size_t>(k)]);
        previous = place;
    }
    return decode_baseXX_string(digits, base);
}

TEST(EncodingsScramble, ShapeAndReadBack)
{
    // The 62 digits shuffled (every 23rd, 23 being prime to 62), so that
    // mixing up the sorted and the given order shows.
    std::string unique_alphabet;
    for (std::size_t i = 0; i < base_digits.size(); ++i)
        unique_alphabet.push_back(base_digits[(i * 23) % base_digits.size()]);
    ASSERT_NE(unique_alphabet, std::string(base_digits));

    const std::string texts[] = {"", "x", "8c1f0e22d94b/file name.zip", std::string("\0\xff\x80", 3)};
    std::set<std::string> outputs;
    for (int round = 0; round < 20; ++round) {
        my_srandom(round + 1);
        for (const std::string &text : texts) {
            auto out = my_encrypt_string_2(text, unique_alphabet, 26);
            ASSERT_TRUE(out);
            EXPECT_EQ(out->size(), text.size() * 2 + 2);
            for (char ch : *out) EXPECT_NE(unique_alphabet.find(ch), std::string::npos) << *out;
            EXPECT_EQ(unscramble(*out, unique_alphabet, 26), text) << *out;
            outputs.insert(*out);
        }
    }
    // The random start varies the output of one text.
    EXPECT_GT(outputs.size(), 4u * 2);
}

TEST(EncodingsScramble, Refusals)
{
    EXPECT_FALSE(my_encrypt_string_2("abc", "0123456789", 26));  // alphabet shorter than the base
    EXPECT_FALSE(my_encrypt_string_2("abc", base_digits, 63));
    // Digits missing from the alphabet come out as '?'.
    auto out = my_encrypt_string_2("A", "abcdefghijklmnopqrstuvwxyz", 16);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->substr(2), "??");
}

}  // namespace
