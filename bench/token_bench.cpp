// Token pass throughput: a page of 5,000 tokens of mixed kinds (plain
// configuration, shopper fields with fall-backs, engine values, widths,
// a few lower-case names) rendered repeatedly; prints token expansions per
// second, and the scan rate over text that holds no token.
#include "core/lifecycle.h"
#include "ovml/tokens.h"
#include "vars/vars.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

constexpr int TOKENS_PER_PAGE = 5000;

std::string make_page()
{
    static const char *const kinds[] = {
        "<td>%OVM_STORE_NAME</td>\n",
        "<b>%OVE_SHIP_FNAME|%OVE_BILL_FNAME|guest</b> ",
        "<a href=\"%OVU_MAIN?page=%OVH_PAGE\">",
        "[%OVM_20R_STORE_EMAIL] ",
        "%OVE_MISSING|%OVM_MISSING|none, ",
        "<i>%OVH_10l_PAGE</i>",
        "%ove_bill_lname ",
        "%OVV_COLOR+s ",
    };
    constexpr int per_round[] = {1, 1, 2, 1, 1, 1, 1, 1};  // tokens in each kind
    std::string page;
    int tokens = 0;
    for (int i = 0; tokens < TOKENS_PER_PAGE; ++i) {
        const int k = i % 8;
        page += kinds[k];
        tokens += per_round[k];
    }
    return page;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main()
{
    Orvel_initialize();
    set_string(DICT_CONFIG, "STORE_NAME", "Orvel Hardware");
    set_string(DICT_CONFIG, "STORE_EMAIL", "owner@hardware.test");
    set_string(DICT_SHOPPER, "BILL_FNAME", "Ann");
    set_string(DICT_SHOPPER, "BILL_LNAME", "Lee");
    set_string(DICT_ORVEL, "PAGE", "catalog");
    set_string(DICT_URL, "MAIN", "http://hardware.test/cgi-bin/orvel");
    set_string(DICT_VARIABLES, "COLOR", "blue");
    // A realistically filled store: enough entries for indexed lookups.
    for (int i = 0; i < 200; ++i) {
        set_string(DICT_CONFIG, "SETTING_" + std::to_string(i), "value");
        set_string(DICT_SHOPPER, "FIELD_" + std::to_string(i), "value");
    }

    const std::string page = make_page();
    std::size_t checksum = ovmlsub(page).size();  // warm-up

    int rounds = 0;
    const auto start = std::chrono::steady_clock::now();
    double elapsed = 0;
    do {
        checksum += ovmlsub(page).size();
        ++rounds;
        elapsed = seconds_since(start);
    } while (elapsed < 2.0);
    const double tokens_per_second = static_cast<double>(rounds) * TOKENS_PER_PAGE / elapsed;

    std::string plain;
    while (plain.size() < page.size()) plain += "<tr><td class=\"cell\">No tokens on this line, 100% plain.</td></tr>\n";
    int plain_rounds = 0;
    const auto plain_start = std::chrono::steady_clock::now();
    double plain_elapsed = 0;
    do {
        checksum += ovmlsub(plain).size();
        ++plain_rounds;
        plain_elapsed = seconds_since(plain_start);
    } while (plain_elapsed < 1.0);
    const double plain_mb_per_second = static_cast<double>(plain_rounds) * plain.size() / plain_elapsed / 1e6;

    std::printf("tokens per page: %d\n", TOKENS_PER_PAGE);
    std::printf("pages rendered: %d in %.2f s\n", rounds, elapsed);
    std::printf("token expansions per second: %.0f\n", tokens_per_second);
    std::printf("token-free text scanned: %.0f MB/s\n", plain_mb_per_second);
    std::printf("checksum: %zu\n", checksum);
    Orvel_deinitialize();
    return 0;
}
