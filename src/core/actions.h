// The dispatcher and the actions it runs, the merchant hooks around them
// and the periodic maintenance after them.
#pragma once

#include <string_view>

int route_action(std::string_view action, std::string_view item);

void actionSERVE();
void actionHOME();

// Merchant customisation points.
void do_custom_welcome();
void Orvel_grab_OVML_hook(std::string_view name);
void maybe_do_custom_cart_filter();
// 1 when the cart quantities had to be adjusted for the action.
int maybe_enforce_minmax_quantities(std::string_view action);

// Maintenance and diagnostics.
void do_daily_tasks();
[[noreturn]] void actionDEBUG();
