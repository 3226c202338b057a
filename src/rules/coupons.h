// Coupons: prepaid credits with a code that the shopper enters, applied at
// every tally and used up when the order is finished.
//
// Coupon files are not read yet: this component is only the seam the
// order finish calls.
#pragma once

// Marks the coupons the finished order used as spent.  Nothing to do until
// coupon files exist.
void redeem_coupons();
