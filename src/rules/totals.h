// The order tally: prices the cart once per process and leaves the
// figures in DICT_TOTALS.
//
// The pricing steps (line prices, discounts, shipping, tax, surcharges,
// credits) are not built yet: tally_order keeps its once-per-process
// contract and loads the cart's products, but prices nothing and leaves
// DICT_TOTALS as it finds it.
#pragma once

// The order total.  The first call of the process computes it; every later
// call returns the cached total, even when the cart changed meanwhile.
double tally_order();

// How many times tally_order was called in this process (diagnostics).
int tally_order_calls();
// Drops the cached total and the call count, so that a test starts as a
// new process would.
void forget_order_total();
