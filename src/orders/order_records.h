// Recording a finished order: one order file per order in the orders
// directory, or one orders database in the plain, tab-separated ("TABS")
// or batch ("IPT") layout.  Every write is checked: a record that cannot be
// written ends the request before anything tells the shopper the order is
// done.
#pragma once

#include <ctime>
#include <string>

// Records the order: an order file when the orders directory exists and is
// readable (or ORDERS_DB_FORMAT is "FILE"), else appends to ORDERS_DB (a
// path under CAT_DIR) in the ORDERS_DB_FORMAT layout; nothing without
// ORDERS_DB.
void save_invoice();
// Writes "order_format.txt", rendered, as "<ORDER_ID>.txt" in the orders
// directory.
void save_invoice_file();
// Adds the order to the IPT batch file at `path`: header, the kept "H" and
// "D" lines of earlier orders, this order's "H" line and one "D" line per
// product, footer.  The counters IPT_HCOUNT, IPT_DCOUNT, IPT_TCOUNT (and
// IPT_SEQ on each product) are set for the templates.
void save_invoice_IPT(const std::string &path);
// Two digits each of year, month, day, hour, minute, second, local time.
std::string get_IPT_date(std::time_t when);
