// Choice lists and the random sources.
#include "strings/choices.h"
#include "strings/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// ---- choices ----------------------------------------------------------------

void expect_distinct_within(const Choices &list, int count)
{
    std::set<int> seen;
    for (int p : list) {
        EXPECT_GE(p, 1);
        EXPECT_LE(p, count);
        EXPECT_TRUE(seen.insert(p).second) << "repeated " << p;
    }
}

TEST(Choices, AllAndReversed)
{
    EXPECT_EQ(choose_all(4), (Choices{1, 2, 3, 4}));
    EXPECT_EQ(reversed_choices(4), (Choices{4, 3, 2, 1}));
    EXPECT_TRUE(choose_all(0).empty());
    EXPECT_TRUE(choose_all(-3).empty());
    EXPECT_TRUE(reversed_choices(0).empty());
}

TEST(Choices, ScrambledIsADistinctSubset)
{
    my_srandom(7);
    for (int n : {1, 4, 10}) {
        Choices list = scrambled_choices(10, n);
        EXPECT_EQ(list.size(), static_cast<std::size_t>(n));
        expect_distinct_within(list, 10);
    }
    Choices all = scrambled_choices(50, 50);
    Choices sorted = all;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, choose_all(50));
    EXPECT_NE(all, choose_all(50));  // 1 in 50! to come out in order

    EXPECT_EQ(scrambled_choices(5, 9).size(), 5u);  // never more than there are
    EXPECT_TRUE(scrambled_choices(0, 3).empty());
    EXPECT_TRUE(scrambled_choices(3, 0).empty());
}

TEST(Choices, ScrambledDrawsFromTheRemainingPositions)
{
    // Each draw is qrand(remaining) into the ascending list of positions not
    // yet taken.
    for (unsigned seed : {1u, 2u, 99u}) {
        std::srand(seed);
        int first = qrand(5);
        int second = qrand(4);
        Choices remaining = {1, 2, 3, 4, 5};
        int expect_first = remaining[static_cast<std::size_t>(first - 1)];
        remaining.erase(remaining.begin() + (first - 1));
        int expect_second = remaining[static_cast<std::size_t>(second - 1)];

        std::srand(seed);
        EXPECT_EQ(scrambled_choices(5, 2), (Choices{expect_first, expect_second}));
    }
}

TEST(Choices, ChooseBySizeText)
{
    my_srandom(3);
    EXPECT_EQ(choose_choices(10, 0, "25%").size(), 2u);
    EXPECT_EQ(choose_choices(10, 0, "1%").size(), 1u);
    EXPECT_TRUE(choose_choices(10, 5, "0%").empty());
    EXPECT_EQ(choose_choices(10, 0, "250%").size(), 10u);
    EXPECT_EQ(choose_choices(16, 0, "12.5%").size(), 2u);
    EXPECT_EQ(choose_choices(10, 0, "3").size(), 3u);
    EXPECT_TRUE(choose_choices(10, 7, "0").empty());
    EXPECT_EQ(choose_choices(10, 0, "1e30").size(), 10u);
    EXPECT_EQ(choose_choices(10, 4, "").size(), 4u);  // no size text: n stands
    EXPECT_EQ(choose_choices(10, 40, "").size(), 10u);
    EXPECT_TRUE(choose_choices(10, 0, "").empty());
    EXPECT_TRUE(choose_choices(0, 5, "").empty());
    expect_distinct_within(choose_choices(20, 0, "50%"), 20);
}

TEST(Choices, AllButAndMembership)
{
    EXPECT_EQ(choose_all_but(10, 3, Choices{1, 3}), (Choices{2, 4, 5}));
    EXPECT_EQ(choose_all_but(5, 99, Choices{2, 5}), (Choices{1, 3, 4}));
    EXPECT_EQ(choose_all_but(3, 3, Choices{}), (Choices{1, 2, 3}));
    EXPECT_TRUE(choose_all_but(5, 0, Choices{}).empty());
    EXPECT_TRUE(choose_all_but(2, 5, Choices{1, 2}).empty());

    Choices list = {4, 1, 7};
    EXPECT_TRUE(isa_choice(list, 7));
    EXPECT_FALSE(isa_choice(list, 2));
    EXPECT_TRUE(delete_choice(list, 1));
    EXPECT_EQ(list, (Choices{4, 7}));
    EXPECT_FALSE(delete_choice(list, 1));
    EXPECT_FALSE(isa_choice(list, 1));
    EXPECT_TRUE(delete_choice(list, 7));
    EXPECT_EQ(list, (Choices{4}));
}

// ---- the seeded generator -------------------------------------------------------

TEST(RandomSeeded, Ranges)
{
    my_srandom(-1);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(qrand(1), 1);
    for (int i = 0; i < 1000; ++i) {
        int q = qrand(6);
        EXPECT_GE(q, 1);
        EXPECT_LE(q, 6);
        int r = my_random(89999999);
        EXPECT_GE(r, 0);
        EXPECT_LT(r, 89999999);
        int big = qrand(0);
        EXPECT_GE(big, 1);
        EXPECT_LE(big, 2147483646);
    }
}

// ---- the operating system's source ------------------------------------------------

TEST(RandomSecure, RangeAndSpread)
{
    EXPECT_EQ(secure_random(1), 0);
    EXPECT_EQ(secure_random(0), 0);
    EXPECT_EQ(secure_random(-5), 0);

    std::map<int, int> counts;
    for (int i = 0; i < 7000; ++i) {
        int r = secure_random(7);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 7);
        ++counts[r];
    }
    ASSERT_EQ(counts.size(), 7u);
    // 1000 expected each; the standard deviation is about 29.
    for (auto [value, count] : counts) {
        EXPECT_GT(count, 700) << value;
        EXPECT_LT(count, 1300) << value;
    }
    for (int n : {2, 89999999, INT_MAX}) {
        std::set<int> seen;
        for (int i = 0; i < 200; ++i) {
            int r = secure_random(n);
            ASSERT_GE(r, 0);
            ASSERT_LT(r, n);
            seen.insert(r);
        }
        EXPECT_EQ(seen.size(), n == 2 ? 2u : 200u) << n;
    }
}

TEST(RandomSecure, ForkedProcessesDrawDifferentSequences)
{
    constexpr int draws = 8;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(fds[0]);
        int values[draws];
        for (int &v : values) v = secure_random(INT_MAX);
        ssize_t wrote = ::write(fds[1], values, sizeof values);
        ::_exit(wrote == static_cast<ssize_t>(sizeof values) ? 0 : 1);
    }
    ::close(fds[1]);
    std::vector<int> mine(draws);
    for (int &v : mine) v = secure_random(INT_MAX);
    std::vector<int> theirs(draws);
    std::size_t got = 0;
    auto *bytes = reinterpret_cast<char *>(theirs.data());
    while (got < sizeof(int) * draws) {
        ssize_t n = ::read(fds[0], bytes + got, sizeof(int) * draws - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(got, sizeof(int) * draws);
    EXPECT_NE(mine, theirs);
}

TEST(RandomSecure, DevUrandomFallbackReads)
{
    unsigned char a[64] = {}, b[64] = {};
    ASSERT_TRUE(read_dev_urandom(a, sizeof a));
    ASSERT_TRUE(read_dev_urandom(b, sizeof b));
    EXPECT_FALSE(std::equal(std::begin(a), std::end(a), std::begin(b)));
    ASSERT_TRUE(secure_random_bytes(a, sizeof a));
    EXPECT_FALSE(std::equal(std::begin(a), std::end(a), std::begin(b)));
    EXPECT_TRUE(secure_random_bytes(a, 0));
}

TEST(RandomWord, AlternatesConsonantsAndVowels)
{
    const std::string consonants = "bcdfghjklmnpqrstvwxyz";
    const std::string vowels = "aeiou";
    EXPECT_EQ(Orvel_random_word(0), "");
    EXPECT_EQ(Orvel_random_word(-4), "");

    std::set<char> seen;
    for (int round = 0; round < 3; ++round) {
        std::time_t before = std::time(nullptr);
        std::string word = Orvel_random_word(1000);
        std::time_t after = std::time(nullptr);
        ASSERT_EQ(word.size(), 1000u);
        if (before == after) {
            bool odd = before % 2 != 0;
            EXPECT_EQ(consonants.find(word[0]) != std::string::npos, odd) << word.substr(0, 4);
        }
        for (std::size_t i = 0; i < word.size(); ++i) {
            bool consonant = consonants.find(word[i]) != std::string::npos;
            bool vowel = vowels.find(word[i]) != std::string::npos;
            ASSERT_TRUE(consonant != vowel) << "not a letter of either set: " << word[i];
            if (i > 0) {
                bool previous_consonant = consonants.find(word[i - 1]) != std::string::npos;
                ASSERT_NE(consonant, previous_consonant) << "at " << i;
            }
            seen.insert(word[i]);
        }
    }
    EXPECT_EQ(seen.size(), 26u);  // every letter turns up in 3000 draws
    EXPECT_NE(Orvel_random_word(12), Orvel_random_word(12));
}

}  // namespace
