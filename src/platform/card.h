// Plausibility checks on payment-card data entered by the shopper: the card
// number's form and check digit, and whether the expiry month has passed.
// Field validation calls these and words its complaints with the message
// names and default texts below.
#pragma once

#include <orvel.h>

#include <ctime>

// Merchant message names and default wordings for the two checks.
inline constexpr const char *CCN_INVALID_MESSAGE = "CCN_INVALID";
inline constexpr const char *CCN_INVALID_DEFAULT =
    "You entered a credit card number which does not appear to be valid.";
inline constexpr const char *CCD_EXPIRED_MESSAGE = "CCD_EXPIRED";
inline constexpr const char *CCD_EXPIRED_DEFAULT =
    "You entered a credit card expiration month and year in the past.";

// invalid_credit_card(number) and invalid_credit_card_date(month, year) are
// declared in orvel.h (plug-ins may call them):
//   invalid_credit_card: 0 when plausible; the Luhn sum modulo 10 (1..9)
//     when the check digit is wrong; -1 when the text holds anything but
//     digits, spaces, '-' and '/', has no non-zero digit, or does not have
//     13 to 16 digits.
//   invalid_credit_card_date: 1 expired, 0 not expired, -1 when the month
//     or the year is negative.  Two-digit years up to 68 are 20xx, 69 to 99
//     are 19xx; the current month itself has not expired.

// The date check against a given moment instead of the clock.
int invalid_credit_card_date_at(int month, int year, std::time_t now);
