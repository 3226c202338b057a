// Cart loop speed: 1,000 products in DICT_PRODUCTS, 1,000 cart lines, and
// <ORVEL_LOOP TYPE=SELECTED> around a row of five product tokens.  Prints
// the time per render of the whole loop (target: 5 ms or less).

#include "catalog/products.h"
#include "core/lifecycle.h"
#include "ovml/render.h"
#include "vars/vars.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int PRODUCTS = 1000;

void fill_catalog_and_cart() {
    for (int i = 0; i < PRODUCTS; ++i) {
        const std::string skuid = "SKU" + std::to_string(10000 + i);
        var *record = new_product(skuid);
        set_string(record, "SKUID", skuid);
        set_string(record, "NAME", "Oak bookshelf number " + std::to_string(i));
        set_string(record, "PRICE", std::to_string(10 + i % 90) + ".95");
        set_string(record, "DESCRIPTION", "Solid wood, hand oiled, two to four shelves");
        set_string(record, "WEIGHT", std::to_string(1 + i % 20));
        set_integer(DICT_SELECTED, skuid, 1 + i % 3);
    }
}

}  // namespace

int main() {
    Orvel_initialize();
    fill_catalog_and_cart();

    const OVMLText page = OVMLText::from_string(
        "<table>\n"
        "<ORVEL_LOOP TYPE=SELECTED>\n"
        "<tr><td>%OVI_SKUID</td><td>%OVI_NAME</td><td>%OVI_PRICE</td><td>%OVI_WEIGHT</td>"
        "<td>%OVI_DESCRIPTION</td></tr>\n"
        "</ORVEL_LOOP>\n"
        "</table>\n");

    std::size_t sink = render_OVML_Text(page).size();  // warm-up
    const int rounds = 50;
    std::vector<double> runs;
    for (int trial = 0; trial < 7; ++trial) {
        const auto start = Clock::now();
        for (int r = 0; r < rounds; ++r) sink += render_OVML_Text(page).size();
        runs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count() / rounds);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("cart loop: %d products, %d cart lines, 5 tokens per row: %.3f ms per render (median of %zu)\n",
                PRODUCTS, PRODUCTS, runs[runs.size() / 2], runs.size());

    volatile std::size_t keep = sink;
    (void)keep;
    Orvel_deinitialize();
    return 0;
}
