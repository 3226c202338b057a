// Order identifiers and pending orders: the store-wide order sequence kept
// in the users directory, the shopper's ORDER_ID built from the merchant's
// id format, and the pending copy of a confirmed order.
#pragma once

#include <string>
#include <string_view>

// Assigns ORDER_ID once: nothing when the shopper already has one or there
// is no client id.  Advances the sequence, expands ORDER_ID_FORMAT (default
// "%OVH_DATE-%OVE_CLIENT"), turns blanks into "0".  An expansion that could
// not safely name a file falls back to the default format.
void maybe_set_order_id();
// maybe_set_order_id(), then ORDER_ID ("" when still unset).
std::string get_order_id();
// Issues the next number of the order sequence ("orderseq.txt" in the users
// directory) and stores it as ORDER_SEQ in DICT_ORVEL.  The read, increase
// and write happen under one exclusive lock and the file is replaced
// atomically, so concurrent orders get distinct numbers and the file is
// never left empty.  A file that cannot be written ends the request.
int increment_order_id();
// Writes the pending copy of the order ("pending_order.txt", else
// "order_format.txt", rendered as an invoice) to the pending directory
// under the order id.  Nothing when there is no usable order id; a file
// that cannot be written is logged and does not stop the request.
void save_pending_order();

// True for an order id that may name the order's files: a safe file-name
// component of at most 200 characters.
bool is_usable_order_id(std::string_view id);
