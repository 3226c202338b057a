// Diagnostics for the merchant: the configuration check (DEBUG and DEBUG2)
// and the ready-made test checkout (TEST).
#include "catalog/selection.h"
#include "cgi/output.h"
#include "config/config.h"
#include "config/paths.h"
#include "core/actions.h"
#include "platform/errors.h"
#include "search/scan.h"
#include "search/search_spec.h"
#include "vars/vars.h"

#include <cstdio>
#include <string_view>
#include <utility>

// The configuration check answers in plain text: an empty page when the
// configuration is valid, else the first validation message.  It shows no
// configuration values, so it is safe for any caller to ask (start-up runs
// DEBUG before the configuration, and with it CMDLINE_ACTIONS, is read).
void actionDEBUG() {
    std::fputs("Content-type: text/plain\n\n\n", stdout);
    // A validation failure prints its error page as the body of this one.
    header_block_written_directly();
    fill_config();
    validate_config();
    my_exit(0);
}

void prepare_test_checkout() {
    static const std::pair<const char *, const char *> billing[] = {
        {"BILL_FNAME", "Testor"},       {"BILL_LNAME", "Fazigu"},      {"BILL_COMPANY", "ACME"},
        {"BILL_STREET", "Noplace"},     {"BILL_STREET2", "Nofloor"},   {"BILL_CITY", "Nowhere"},
        {"BILL_STATE", "NY"},           {"BILL_COUNTRY", "US"},        {"BILL_POSTAL_CODE", "55555"},
        {"BILL_PHONE", "555/555-5555"}, {"BILL_FAX", "555/555-5555"},
    };
    for (const auto &[field, value] : billing) set_string(DICT_SHOPPER, field, value);

    // One unit of the first product that has a price (the search loads
    // the matches of its first page, here the one wanted).
    SearchQueryPtr query = new_search_query("+PRICE>0", 1, false);
    if (query && doSearch(query.get()) > 0 && query->ids && query->ids->count > 0)
        set_selected_quantity(value_view(query->ids->items[0]), 1);

    // The first choice of each of the store's lists.
    static const std::pair<const char *, const char *> choices[] = {
        {"payment_methods.txt", "PAYMENT_METHOD"},
        {"ship_methods.txt", "SHIP_METHOD"},
        {"ship_regions.txt", "SHIP_REGION"},
        {"tax_regions.txt", "TAX_REGION"},
    };
    for (const auto &[list_name, field] : choices) {
        bool owned = false;
        text *lines = get_loop_text(list_name, &owned);
        if (lines && lines->first) {
            std::string_view line(lines->first->string);
            set_string(DICT_SHOPPER, field, line.substr(0, line.find(';')));
        }
        if (owned) free_text(lines);
    }
    set_integer(DICT_SHOPPER, "SHIP_SAME_AS_BILL", 1);
}

void actionTEST() {
    prepare_test_checkout();
    actionCHECKOUT();
}
