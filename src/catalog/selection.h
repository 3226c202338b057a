// The cart: quantities of the selected products and their order.
// DICT_SELECTED maps each SKUID to an integer quantity, in the order the
// SKUIDs were first selected.  Also the ordering of product lists by a
// product field, for product loops.
#pragma once

#include <orvel.h>

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
// Cart quantities run from 0 to MAX_QUANTITY; codes are at most
// MAX_CART_CODE_LENGTH characters.
inline constexpr int MAX_QUANTITY = 999999999;
inline constexpr std::size_t MAX_CART_CODE_LENGTH = 1024;
// Whether a code may enter the cart: non-empty, not too long, and without
// ':' or control characters (a cart line is stored as "CODE:quantity").
bool is_acceptable_cart_code(std::string_view code);
// A quantity brought into 0..MAX_QUANTITY.
int clamp_quantity(long long quantity);
// Sets the code's quantity, clamped to 0..MAX_QUANTITY; a code that is not
// acceptable never enters the cart.
void set_selected_quantity(std::string_view code, int quantity);

// Reorders the children of `list` (named by SKUID) by the product field
// `field`: each child, in list order, is inserted before the first already
// placed one whose key it sorts before (ascending) or sorts before or
// equals (descending).  Ascending keeps equal keys in list order;
// descending puts later ones of equal keys first.  Loads the products.
void sort_products(var *list, std::string_view field, bool ascending);

// Compares two sort keys: as decimal numbers when both are numbers
// (optional sign, digits, at most one "."), else as byte strings.
// Negative when `a` sorts before `b`.
int product_sort_func(std::string_view a, std::string_view b);
