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

// Actions that arrive with later parts of the store (checkout, accounts).
void actionCHECKOUT(bool redirect_test = true);
void actionCONFIRM();
void actionFINISH();
void actionFINISH_CYBERCASH();
void actionLOGIN();
void actionLOGOUT();
void actionBIRTH();
void actionCHPASS();

// Merchant customisation points.
void do_custom_welcome();
void Orvel_grab_OVML_hook(std::string_view name);
void maybe_do_custom_cart_filter();
// 1 when the cart quantities had to be adjusted for the action.
int maybe_enforce_minmax_quantities(std::string_view action);

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
