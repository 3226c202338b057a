// The dispatcher and the actions it runs, the merchant hooks around them
// and the periodic maintenance after them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

int route_action(std::string_view action, std::string_view item);
// 1 when this invocation counts as a command-line one.
int is_cmdline_action();
int maybe_disallow_cmdline_action(std::string_view action);
int maybe_perform_custom_action(std::string_view action);

// Browsing.
void actionSERVE();
void actionHOME();
void actionRETURN();
void actionBACK();
void actionSOURCE();
void actionFRAMES();
void actionDETAIL();
void actionADD();
void actionVIEW();
void history_add(std::string text);
// 1 after printing the "empty" template for an empty cart.
int maybe_show_empty_cart();
std::optional<std::string> history_fetch();

// Downloads.  PICKUP: with `deliver` the file itself, else a redirect to
// its "/pickups/<id>/<file>" address.
void actionPICKUP(bool deliver);

// Searching the catalog (the search component).
void actionSEARCH();

// Checkout.  CHECKOUT, CONFIRM and FINISH (= finish_order, which ends the
// request itself once the order is recorded); FINISH_CYBERCASH completes
// the order only for a command-line invocation (a payment processor) and
// shows a browser the checkout page.
void actionCHECKOUT(bool redirect_test = true);
void actionCONFIRM();
void actionFINISH();
void actionFINISH_CYBERCASH();
void finish_order();
// Ends the request with a message when the subtotal is below MINIMUM_ORDER
// or above MAXIMUM_ORDER (a subtotal equal to a limit passes); else 0.
int maybe_show_cheap_cart();
// Brings every cart quantity within its product's MINQ and MAXQ; 1 when it
// adjusted one and printed the explanation (only the minimum message when
// both kinds were adjusted), else 0.
int enforce_minmax_quantities();
// The same, for an action listed in MINMAX_ACTIONS; else 0.
int maybe_enforce_minmax_quantities(std::string_view action);
// Ends the request when BILL_EMAIL's domain ends with one of the
// BOGUS_EMAIL_DOMAINS (a plain suffix, ignoring case); else 0.
int maybe_refuse_bogus_email_domain();
// Renders DICT_ARGS FILE_TEMPLATE as an invoice and appends it to the file
// DICT_ARGS FILE_FILENAME (for plug-ins and merchant pages; no action
// name reaches it).
void actionMAILTO();

// Actions that arrive with later parts of the store (accounts).
void actionLOGIN();
void actionLOGOUT();
void actionBIRTH();
void actionCHPASS();

// Merchant customisation points.
void do_custom_welcome();
void Orvel_grab_OVML_hook(std::string_view name);
void maybe_do_custom_cart_filter();
// The finished order told to the plug-ins, the "finish" hook and the
// MY_FINISH scripts.
int do_custom_finish();

// Maintenance and diagnostics.
void do_daily_tasks();
int purge_user_files();
int purge_pending_orders();
int purge_orders();
int Orvel_stamp_maintenance_file();
long get_pending_order_reap_threshold();
long get_order_reap_threshold();
// DEBUG and DEBUG2: the configuration check, as a plain-text page.
[[noreturn]] void actionDEBUG();
// TEST: a test checkout.  prepare_test_checkout fills the shopper's
// billing fields with sample data, puts one unit of the first priced
// product in the cart and picks the first entry of each checkout list;
// actionTEST then runs CHECKOUT.
void prepare_test_checkout();
void actionTEST();

// Command-line operations; each prints to standard output only (no header
// block).  Rendering a name that is unsafe or cannot be read ends the
// process with a line on standard error and status 1.
void cl_dump_products(std::string_view codes);
void cl_render_page(std::string_view name);
void cl_render_template(std::string_view name);
