// Positional numbers, digit-pair encoding, text reversal and the
// alphabet-walking scrambler.
#include "strings/encodings.h"

#include "strings/random.h"

#include <algorithm>

namespace {

constexpr bool valid_base(int base) { return base >= 2 && base <= 62; }

// Value of one alphabet character, or -1 when it is not a digit of any base.
constexpr int digit_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 36;
    return -1;
}

constexpr bool is_letter_or_digit(char c) { return digit_value(c) >= 0; }

}  // namespace

std::optional<std::string> Orvel_tobaseXX(long number, int base)
{
    if (number < 0 || !valid_base(base)) return std::nullopt;
    std::string digits;
    while (number > 0) {
        digits.push_back(base_digits[static_cast<std::size_t>(number % base)]);
        number /= base;
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

long Orvel_frombaseXX(std::string_view text, int base)
{
    if (!valid_base(base)) return -1;
    // Unsigned arithmetic: an over-long text wraps instead of overflowing.
    unsigned long value = 0;
    for (char c : text) {
        int d = digit_value(c);
        if (d < 0) return -1;
        value = value * static_cast<unsigned long>(base) + static_cast<unsigned long>(d);
    }
    return static_cast<long>(value);
}

std::string int_to_baseXX_string(int byte, int base)
{
    if (!valid_base(base)) return "??";
    int b = byte & 0xFF;
    int high = b / base;
    if (high > base) return "??";
    return {base_digits[static_cast<std::size_t>(high)], base_digits[static_cast<std::size_t>(b % base)]};
}

int baseXX_string_to_int(std::string_view pair, int base)
{
    if (!valid_base(base) || pair.size() != 2) return 0;
    int high = digit_value(pair[0]);
    int low = digit_value(pair[1]);
    if (high < 0 || low < 0) return 0;
    return high * base + low;
}

std::optional<std::string> encode_baseXX_string(std::string_view text, int base)
{
    if (!valid_base(base)) return std::nullopt;
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) out += int_to_baseXX_string(static_cast<unsigned char>(c), base);
    return out;
}

std::optional<std::string> decode_baseXX_string(std::string_view text, int base)
{
    if (!valid_base(base) || text.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = digit_value(text[i]);
        int low = digit_value(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        int value = high * base + low;
        if (value > 255) return std::nullopt;
        out.push_back(static_cast<char>(value));
    }
    return out;
}

std::string Orvel_strreverse(std::string_view text) { return std::string(text.rbegin(), text.rend()); }

char traverse_string(std::string_view alphabet, long long start, long long steps,
                     bool letters_and_digits_only)
{
    if (alphabet.empty()) return 0;
    const long long length = static_cast<long long>(alphabet.size());
    long long at = (start < 0 || start >= length) ? 0 : start;
    // Wrap in both directions: the remainder of a negative walk is negative.
    at = ((at + steps % length) % length + length) % length;
    if (letters_and_digits_only) {
        for (long long tried = 0; !is_letter_or_digit(alphabet[static_cast<std::size_t>(at)]); ++tried) {
            if (tried == length) return 0;
            at = (at + 1) % length;
        }
    }
    return alphabet[static_cast<std::size_t>(at)];
}

std::optional<std::string> my_encrypt_string_2(std::string_view text, std::string_view alphabet,
                                               int base)
{
    if (base < 0 || alphabet.size() < static_cast<std::size_t>(base)) return std::nullopt;
    // Digits are looked up by their place in the alphabet sorted by value;
    // output characters are taken from the alphabet as given.
    std::string sorted(alphabet);
    std::sort(sorted.begin(), sorted.end(),
              [](char a, char b) { return static_cast<unsigned char>(a) < static_cast<unsigned char>(b); });

    std::optional<std::string> encoded = encode_baseXX_string(text, base);
    if (!encoded || alphabet.empty()) return std::nullopt;

    const long long c = my_random(0) % static_cast<long long>(alphabet.size());
    std::string out;
    out.reserve(encoded->size() + 2);
    out.push_back(alphabet[static_cast<std::size_t>(c)]);
    out.push_back(traverse_string(alphabet, base, c));

    long long sum = 0;
    long long e = 2;
    for (char digit : *encoded) {
        std::size_t k = sorted.find(digit);
        if (k == std::string::npos) {
            out.push_back('?');
        } else {
            sum += c + static_cast<long long>(k) + e;
            out.push_back(traverse_string(alphabet, 0, sum));
        }
        ++e;
    }
    return out;
}
