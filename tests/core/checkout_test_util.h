// A store that takes orders, for the end-to-end checkout tests: three
// products (one a download), the checkout, payment, receipt and invoice
// templates, an orders directory, and order mail delivered through msmtp
// to an SMTP sink in the test.
#pragma once

#include "support/cgi_harness.h"
#include "support/smtp_sink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace checkout_test {

using namespace orvel_test;

class Shop : public Catalog {
public:
    explicit Shop(const SmtpSink &sink) {
        write("products.txt", "SKUID: TEA\nNAME: Green Tea\nPRICE: 4.50\n\n"
                              "SKUID: MUG\nNAME: Big Mug\nPRICE: 8.00\n\n"
                              "SKUID: GUIDE\nNAME: Tea Guide\nPRICE: 3.00\nPICKUP_FN: guide.pdf\n");
        write("softgoods/guide.pdf", "%PDF the guide\n");
        write("templates/checkout.html",
              "CHECKOUT <ORVEL_LOOP TYPE=SELECTED>%OVI_SKUID=%OVI_QUANTITY;</ORVEL_LOOP>\n");
        write("templates/payment/invoice.html", "PAY BY INVOICE ORDER_ID=%OVE_ORDER_ID\n");
        write("templates/receipt.html",
              "RECEIPT ORDER_ID=%OVE_ORDER_ID "
              "<ORVEL_LOOP TYPE=PICKUPS>PICKUP=%OVU_MAIN/pickups/%OVI_PICKUP_ID/%OVI_PICKUP_FN </ORVEL_LOOP>\n");
        write("templates/empty.html", "EMPTY CART\n");
        write("templates/order_format.txt", "ORDER %OVE_ORDER_ID\n"
                                            "<ORVEL_LOOP TYPE=SELECTED>LINE %OVI_SKUID x %OVI_QUANTITY\n"
                                            "</ORVEL_LOOP>END OF ORDER\n");
        write("templates/store_invoice.txt", "New order %OVE_ORDER_ID from %OVE_BILL_NAME\n");
        write("templates/shopper_invoice.txt", "Thank you for order %OVE_ORDER_ID\n");
        std::filesystem::create_directories(path() + "/orders");
        std::filesystem::create_directories(path() + "/pending");
        configure("ORDER_RECIPIENTS: orders@shop.test\nMAIL_SHOPPER: 1\nMAIL_PATH: " +
                  msmtp_mail_path(path(), sink.port()) + "\n");
    }

    // A request with the shopper's cookie (none for the first).
    Response ask(const std::string &query, const std::string &cookie = "") const {
        return get_page(path(), query, cookie);
    }

    // A shopper with a cart and billing details: the cookie.
    std::string shopper_with_cart(const std::string &products = "product_tea=2&product_guide=1") const {
        Response r = ask(products + "&bill_name=Ann+Lee&bill_email=ann%40example.org&payment_method=invoice"
                                    "&action=checkout");
        EXPECT_EQ(r.exit_status, 0) << r.raw;
        return cookie_of(r);
    }

    // The ids of the shoppers with a session file.
    std::vector<std::string> client_ids() const {
        std::vector<std::string> ids;
        for (const auto &entry : std::filesystem::directory_iterator(path() + "/users")) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with("user") && name.ends_with(".txt")) ids.push_back(name.substr(4, 8));
        }
        return ids;
    }

    std::vector<std::string> order_files() const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(path() + "/orders"))
            if (entry.path().extension() == ".txt") names.push_back(entry.path().filename().string());
        return names;
    }
};

}  // namespace checkout_test
