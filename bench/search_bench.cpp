// Search cost over products files of 10,000 and 100,000 products: time
// per search and megabytes of products text scanned per second, for a rare
// term (a handful of matches) and a common term (every product), each on
// NAME alone and on NAME and DESCRIPTION.  Each search is a full new
// search as the SEARCH action runs it: the file is opened and read, every
// product scored, every match collected (the match limit is raised above
// the product count) and the first page of 5 loaded.  Every timed run must
// find exactly the expected number of matches, or the benchmark stops with
// an error.  Prints figures only.

#include "core/lifecycle.h"
#include "search/scan.h"
#include "search/search_spec.h"
#include "vars/vars.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One product in every RARE_EVERY has the rare word in its name.
constexpr int RARE_EVERY = 1000;

void write_catalog(const std::string &path, int products) {
    std::ofstream out(path);
    out << "# Bench catalog\n\n";
    for (int i = 0; i < products; ++i) {
        out << "SKUID: W" << (100000 + i) << "\n"
            << "NAME: Widget number " << i << (i % RARE_EVERY == 7 ? ", zanzibar edition" : ", sturdy and blue")
            << "\n"
            << "PRICE: " << (i % 97) + 0.99 << "\n"
            << "WEIGHT: " << (i % 13) + 0.5 << "\n"
            << "GROUP: widgets, hardware\n"
            << "DESCRIPTION: A well made widget for every workshop.  Comes with a \\#2 mounting kit. # note\n"
            << "SHIPPING: 4.50\n"
            << "DTEMPLATE: widget.html\n\n";
    }
}

void fresh_state(const std::string &dir) {
    Orvel_deinitialize();
    Orvel_initialize();
    set_string(DICT_CONFIG, "CAT_DIR", dir);
    set_string(DICT_CONFIG, "SEARCH_MOST_MATCHES", "100000000");
}

struct Timing {
    double median_ms;  // wall clock
    double best_ms;
    double cpu_ms;     // median processor time of the process (the machine may be shared)
};

double cpu_now_ms() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Milliseconds per search; stops the program when a run finds anything
// but `expected` matches.
Timing time_search(const std::string &dir, const std::string &spec, int expected, int trials) {
    std::vector<double> runs, cpu;
    for (int t = 0; t < trials; ++t) {
        fresh_state(dir);
        SearchQueryPtr query = new_search_query(spec, -5, true);
        if (!query) {
            std::fprintf(stderr, "search_bench: no query for %s\n", spec.c_str());
            std::exit(1);
        }
        const double cpu_start = cpu_now_ms();
        const auto start = Clock::now();
        const int found = doSearch(query.get());
        const std::chrono::duration<double, std::milli> spent = Clock::now() - start;
        cpu.push_back(cpu_now_ms() - cpu_start);
        if (found != expected || query->total != expected || query->ids->count != expected) {
            std::fprintf(stderr, "search_bench: %s found %d matches, expected %d\n", spec.c_str(), found, expected);
            std::exit(1);
        }
        runs.push_back(spent.count());
    }
    std::sort(runs.begin(), runs.end());
    std::sort(cpu.begin(), cpu.end());
    return {runs[runs.size() / 2], runs.front(), cpu[cpu.size() / 2]};
}

}  // namespace

// An optional first argument gives one product count to run, and a
// second the number of trials (for profiling).
int main(int argc, char **argv) {
    char pattern[] = "/tmp/orvel_search_bench_XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string dir = pattern;
    const std::string path = dir + "/products.txt";

    bool ok = true;
    std::vector<int> sizes = {10000, 100000};
    if (argc > 1) sizes = {std::atoi(argv[1])};
    const int forced_trials = argc > 2 ? std::atoi(argv[2]) : 0;
    for (const int products : sizes) {
        if (products < RARE_EVERY) {
            std::fprintf(stderr, "search_bench: at least %d products\n", RARE_EVERY);
            return 1;
        }
        write_catalog(path, products);
        const double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
        const int rare = products / RARE_EVERY;
        const int trials = forced_trials > 0 ? forced_trials : products > 10000 ? 11 : 31;
        std::printf("%d products, %.1f MB:\n", products, megabytes);
        struct Case {
            const char *what;
            std::string spec;
            int expected;
        };
        const Case cases[] = {
            {"rare term, NAME", "?NAME:zanzibar", rare},
            {"rare term, NAME and DESCRIPTION", "?NAME:zanzibar ?DESCRIPTION:zanzibar", rare},
            {"common term, NAME", "?NAME:widget", products},
            {"common term, NAME and DESCRIPTION", "?NAME:widget ?DESCRIPTION:widget", products},
        };
        for (const Case &c : cases) {
            const Timing t = time_search(dir, c.spec, c.expected, trials);
            std::printf("  %-36s %6d matches  %7.2f ms median (%7.2f best, %7.2f cpu)  %6.0f MB/s (%6.0f by cpu)\n",
                        c.what, c.expected, t.median_ms, t.best_ms, t.cpu_ms, megabytes / (t.median_ms / 1000.0),
                        megabytes / (t.cpu_ms / 1000.0));
        }
    }
    Orvel_deinitialize();
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
