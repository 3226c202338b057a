// Template rendering speed: (a) a 1 MB page of plain HTML, which should go
// through at several hundred MB/s; (b) a ~200 KB template with 5,000 tokens
// and 500 elements (single and paired).  Prints figures only.

#include "core/lifecycle.h"
#include "ovml/render.h"
#include "vars/vars.h"

#include <algorithm>
#include <chrono>
#include <malloc.h>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string bench_single(TagDef &) { return "x"; }
std::string bench_pair(TagDef &def) { return render_OVML_Text(def.body_lines()); }

std::string plain_page(std::size_t size) {
    std::string page = "<html>\n<head><title>Our catalog</title></head>\n<body bgcolor=\"#ffffff\">\n";
    int row = 0;
    while (page.size() < size) {
        page += "<tr><td class=\"product\"><a href=\"/docs/item" + std::to_string(row) +
                ".html\">Oak bookshelf, row " + std::to_string(row) +
                "</a></td><td align=right>Solid wood, hand oiled, two to four shelves</td></tr>\n";
        ++row;
    }
    page += "</body></html>\n";
    return page;
}

// 5,000 tokens and 500 elements (400 single, 100 paired with tokens in
// their bodies) in about 200 KB.
std::string busy_template(int &tokens, int &elements) {
    std::string page = "<html><head><title>Catalog</title></head><body>\n";
    tokens = elements = 0;
    for (int block = 0; block < 100; ++block) {
        page += "<ORVEL_BENCHPAIR ID=" + std::to_string(block) + ">\n";
        ++elements;
        for (int i = 0; i < 10; ++i, ++tokens) page += "<tr><td>%OVM_STORE_NAME</td><td>row text</td></tr>\n";
        page += "</ORVEL_BENCHPAIR>\n";
        for (int i = 0; i < 4; ++i, ++elements)
            page += "<p>Item <ORVEL_BENCH N=" + std::to_string(i) + "> here</p>\n";
        for (int i = 0; i < 20; ++i, tokens += 2)
            page += "<td>%OVM_STORE_NAME, %OVE_MISSING|none</td>\n";
        for (int i = 0; i < 8; ++i) page += "<tr><td class=\"plain\">a plain line of the layout</td></tr>\n";
    }
    page += "</body></html>\n";
    return page;
}

template <class F> double median_seconds(int trials, F &&f) {
    std::vector<double> runs;
    for (int t = 0; t < trials; ++t) {
        auto start = Clock::now();
        f();
        runs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int main() {
    // A request renders its page once in a fresh process.  Rendering the
    // same megabyte over and over would otherwise mostly time the allocator
    // handing each round's buffers back to the kernel and faulting them in
    // again.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    Orvel_initialize();
    register_OVML_function("ORVEL_BENCH", bench_single);
    register_OVML_function("/ORVEL_BENCHPAIR", bench_pair);
    set_string(DICT_CONFIG, "STORE_NAME", "Corner Shop");

    std::size_t sink = 0;

    // (a) plain HTML
    const std::string page = plain_page(1 << 20);
    const OVMLText text = OVMLText::from_string(page);
    const int rounds = 50;
    double secs = median_seconds(7, [&] {
        for (int r = 0; r < rounds; ++r) sink += render_OVML_Text(text).size();
    });
    const double mb = static_cast<double>(page.size()) * rounds / (1024.0 * 1024.0);
    std::printf("plain HTML, render_OVML_Text:   %8.1f MB/s\n", mb / secs);

    secs = median_seconds(7, [&] {
        for (int r = 0; r < rounds; ++r) sink += render_OVML_String(page).size();
    });
    std::printf("plain HTML, render_OVML_String: %8.1f MB/s\n", mb / secs);

    char path[] = "/tmp/ovml-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd >= 0 && ::write(fd, page.data(), page.size()) == static_cast<ssize_t>(page.size())) {
        secs = median_seconds(7, [&] {
            for (int r = 0; r < rounds; ++r) sink += render_OVML_File(path)->size();
        });
        std::printf("plain HTML, render_OVML_File:   %8.1f MB/s (read included)\n", mb / secs);
    }
    if (fd >= 0) {
        ::close(fd);
        ::unlink(path);
    }

    // (b) tokens and elements
    int tokens = 0, elements = 0;
    const std::string busy = busy_template(tokens, elements);
    const OVMLText busy_text = OVMLText::from_string(busy);
    const int busy_rounds = 20;
    secs = median_seconds(7, [&] {
        for (int r = 0; r < busy_rounds; ++r) sink += render_OVML_Text(busy_text).size();
    });
    const double per = secs / busy_rounds;
    std::printf("busy template: %zu KB, %d tokens, %d elements: %.3f ms per render, %.0f tokens/s\n",
                busy.size() / 1024, tokens, elements, per * 1000.0, tokens / per);

    // Keeps the renders from being optimised away.
    volatile std::size_t keep = sink;
    (void)keep;
    return 0;
}
