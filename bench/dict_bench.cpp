// Dictionary lookup cost: time per get_var in a 100,000-entry dictionary
// against a 100-entry one.  With the name index the two should stay close
// (a ratio under 3); a plain chain walk would make the large one thousands
// of times slower.  Prints figures only.

#include "vars/vars.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> make_names(int count)
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        names.push_back("NAME_" + std::to_string(i));
    return names;
}

var *fill(const std::vector<std::string> &names)
{
    var *dict = new_dict("[BENCH]");
    int n = 0;
    for (const std::string &name : names)
        set_var(dict, name.c_str(), TYPE_INTEGER, n++);
    return dict;
}

// Nanoseconds per lookup over `rounds` passes through `order`; the median
// of `trials` runs.  `found` guards against the loop being optimised away.
double time_lookups(var *dict, const std::vector<std::string> &order, int rounds, int trials,
                    long &found)
{
    std::vector<double> runs;
    for (int t = 0; t < trials; ++t) {
        const auto start = Clock::now();
        for (int r = 0; r < rounds; ++r) {
            for (const std::string &name : order) {
                found += get_var(dict, name.c_str()) != nullptr;
            }
        }
        const std::chrono::duration<double, std::nano> spent = Clock::now() - start;
        runs.push_back(spent.count() / (static_cast<double>(rounds) * static_cast<double>(order.size())));
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int main()
{
    constexpr int kLarge = 100000;
    constexpr int kSmall = 100;
    long found = 0;

    const std::vector<std::string> large_names = make_names(kLarge);
    const auto fill_start = Clock::now();
    var *large = fill(large_names);
    const std::chrono::duration<double, std::milli> fill_ms = Clock::now() - fill_start;

    std::vector<std::string> shuffled = large_names;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(12345));

    // One untimed pass first, so that neither order pays for warming up.
    time_lookups(large, large_names, 1, 1, found);
    const double large_seq = time_lookups(large, large_names, 1, 7, found);
    const double large_rand = time_lookups(large, shuffled, 1, 7, found);

    std::vector<std::string> absent;
    absent.reserve(shuffled.size());
    for (const std::string &name : shuffled)
        absent.push_back("NAME_X" + name.substr(5));
    const double large_miss = time_lookups(large, absent, 1, 7, found);

    const std::vector<std::string> small_names = make_names(kSmall);
    var *small = fill(small_names);
    std::vector<std::string> small_shuffled = small_names;
    std::shuffle(small_shuffled.begin(), small_shuffled.end(), std::mt19937(54321));
    time_lookups(small, small_shuffled, 1000, 1, found);
    const double small_ns = time_lookups(small, small_shuffled, 10000, 7, found);

    std::printf("fill %d entries:             %.1f ms (var_length %d)\n", kLarge, fill_ms.count(),
                var_length(large));
    std::printf("lookup, %6d entries, insertion order: %8.1f ns\n", kLarge, large_seq);
    std::printf("lookup, %6d entries, shuffled order:  %8.1f ns\n", kLarge, large_rand);
    std::printf("lookup, %6d entries, absent names:    %8.1f ns\n", kLarge, large_miss);
    std::printf("lookup, %6d entries, shuffled order:  %8.1f ns\n", kSmall, small_ns);
    std::printf("ratio large/small (insertion order): %.2f\n", large_seq / small_ns);
    std::printf("ratio large/small (shuffled order):  %.2f\n", large_rand / small_ns);
    std::printf("(%ld lookups found)\n", found);

    nuke_var(large);
    nuke_var(small);
    return 0;
}
