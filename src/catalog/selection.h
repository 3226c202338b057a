// The cart: quantities of the selected products and their order.
#pragma once

#include <string>

// The SKUIDs of the cart in order, joined by ";".
std::string get_selected_products_string();
