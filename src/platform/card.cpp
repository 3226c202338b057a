// Card number (Luhn) and expiry checks.
#include "platform/card.h"

#include "platform/log.h"

namespace {

// More digits than any card has; collecting stops after this many so that
// a long run of digits cannot grow the buffer.
constexpr int max_card_digits = 32;

}  // namespace

extern "C" int invalid_credit_card(const char *number)
{
    if (!number) return -1;
    int digits[max_card_digits + 1];
    int count = 0;
    int total = 0;
    for (const char *p = number; *p; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            if (count <= max_card_digits) {
                digits[count++] = c - '0';
                total += c - '0';
            }
        } else if (c != ' ' && c != '-' && c != '/') {
            return -1;
        }
    }
    if (total == 0) return -1;

    int sum = 0;
    for (int i = 0; i < count; ++i) {
        int d = digits[i];
        // Every second digit counted from the right (the last one is not).
        if ((count - 1 - i) % 2 == 1) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        sum += d;
    }
    if (count < 13 || count > 16) {
        ovdebug("valid luhn; invalid length");
        return -1;
    }
    return sum % 10;
}

int invalid_credit_card_date_at(int month, int year, std::time_t now)
{
    if (month < 0 || year < 0) return -1;
    if (year <= 68)
        year += 2000;
    else if (year <= 99)
        year += 1900;
    std::tm local{};
    localtime_r(&now, &local);
    const int this_year = local.tm_year + 1900;
    const int this_month = local.tm_mon + 1;
    if (year < this_year) return 1;
    if (year == this_year && month < this_month) return 1;
    return 0;
}

extern "C" int invalid_credit_card_date(int month, int year)
{
    return invalid_credit_card_date_at(month, year, std::time(nullptr));
}
