// Product loading cost in a 10,000-product file: microseconds per
// fill_products call for (a) one product near the end, (b) 20 products
// spread through the file and (c) one product that is not in the file (a
// full scan), each with nothing loaded beforehand; and (d) one product near
// the start, where the scan stops early.  For comparison, one
// full scan with the FILE line reader in SKUID-only mode.  Prints figures
// only.

#include "catalog/product_sources.h"
#include "catalog/products.h"
#include "core/lifecycle.h"
#include "vars/vars.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int PRODUCTS = 10000;

// No option delimiter in the SKUIDs: an optioned SKUID would also ask for
// its base, which is never found and always costs a full scan.
std::string skuid_of(int i) { return "W" + std::to_string(100000 + i); }

void write_catalog(const std::string &path)
{
    std::ofstream out(path);
    out << "# Bench catalog\n\n";
    for (int i = 0; i < PRODUCTS; ++i) {
        out << "SKUID: " << skuid_of(i) << "\n"
            << "NAME: Widget number " << i << ", sturdy and blue\n"
            << "PRICE: " << (i % 97) + 0.99 << "\n"
            << "WEIGHT: " << (i % 13) + 0.5 << "\n"
            << "GROUP: widgets, hardware\n"
            << "DESCRIPTION: A well made widget for every workshop.  Comes with a \\#2 mounting kit. # note\n"
            << "SHIPPING: 4.50\n"
            << "DTEMPLATE: widget.html\n\n";
    }
}

// A fresh process state with the catalog configured.
void fresh_state(const std::string &dir)
{
    Orvel_deinitialize();
    Orvel_initialize();
    set_string(DICT_CONFIG, "CAT_DIR", dir);
}

struct Timing {
    double median;
    double best;
};

Timing summarize(std::vector<double> runs)
{
    std::sort(runs.begin(), runs.end());
    return {runs[runs.size() / 2], runs.front()};
}

// Microseconds of `trials` calls of fill_products on `skuids`.
Timing time_fill(const std::string &dir, const std::vector<std::string> &skuids, int trials)
{
    std::vector<double> runs;
    for (int t = 0; t < trials; ++t) {
        fresh_state(dir);
        var *list = new_dict("[WANTED]");
        for (const std::string &s : skuids)
            set_integer(list, s, 1);
        const auto start = Clock::now();
        fill_products(list);
        const std::chrono::duration<double, std::micro> spent = Clock::now() - start;
        runs.push_back(spent.count());
        if (!get_product(skuids.front())) std::fprintf(stderr, "not loaded: %s\n", skuids.front().c_str());
        nuke_var(list);
    }
    return summarize(runs);
}

Timing time_line_reader(const std::string &path, int trials)
{
    std::vector<double> runs;
    long lines = 0;
    for (int t = 0; t < trials; ++t) {
        FILE *file = std::fopen(path.c_str(), "r");
        if (!file) return {-1, -1};
        ProductLine line;
        const auto start = Clock::now();
        while (get_product_line(file, line, true) != PRODUCT_LINE_EOF)
            ++lines;
        const std::chrono::duration<double, std::micro> spent = Clock::now() - start;
        std::fclose(file);
        runs.push_back(spent.count());
    }
    if (lines == 0) return {-1, -1};
    return summarize(runs);
}

}  // namespace

int main()
{
    char pattern[] = "/tmp/orvel_catalog_bench_XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const std::string path = dir + "/products.txt";
    write_catalog(path);

    const int trials = 31;
    std::vector<std::string> spread;
    for (int i = 0; i < 20; ++i)
        spread.push_back(skuid_of(i * (PRODUCTS / 20) + 37));

    std::printf("products file: %d products, %ju bytes\n", PRODUCTS,
                static_cast<std::uintmax_t>(std::filesystem::file_size(path)));
    const auto report = [](const char *what, Timing t) {
        std::printf("%-44s %8.1f us median, %8.1f us best\n", what, t.median, t.best);
    };
    std::printf("microseconds per fill_products call:\n");
    report("(a) 1 product near the end", time_fill(dir, {skuid_of(PRODUCTS - 3)}, trials));
    report("(b) 20 products spread out", time_fill(dir, spread, trials));
    report("(c) 1 missing product (full scan)", time_fill(dir, {"NO-SUCH-1"}, trials));
    report("(d) 1 product near the start (early stop)", time_fill(dir, {skuid_of(20)}, trials));
    report("reference: FILE line reader, full scan", time_line_reader(path, 11));

    Orvel_deinitialize();
    std::filesystem::remove_all(dir);
    return 0;
}
