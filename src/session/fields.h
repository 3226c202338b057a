// Questions about the shopper's own fields in DICT_SHOPPER.
#pragma once

// True unless some shopper field named "SHIP_" + rest (prefix in any case)
// has a partner "BILL_" + rest whose value differs, ignoring case.  A
// SHIP_ field without a partner does not count.
bool ship_same_as_bill();
