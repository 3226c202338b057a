// The cart: quantities of the selected products and their order.
// DICT_SELECTED maps each SKUID to an integer quantity, in the order the
// SKUIDs were first selected.
#pragma once

#include <string>
#include <string_view>

// The SKUIDs of the cart in order, joined by ";".
std::string get_selected_products_string();

// The selected quantity of `code`; 0 when the SKUID is empty, absent from
// the cart or not a number.
int get_selected_quantity(std::string_view code);

// Stores `quantity` for `code` in the cart (appended at the end when new,
// kept in place otherwise; 0 keeps the SKUID with quantity 0).  When the
// product record is loaded, its QUANTITY field follows.  An empty SKUID
// does nothing.
void set_selected_quantity(std::string_view code, int quantity);
