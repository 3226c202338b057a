// Small textual encodings: positional numbers in bases 2 to 62, the
// two-digits-per-byte text encoding used by the cookie and the pick-up
// identifiers, text reversal, and the alphabet-walking scrambler.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Digit alphabet shared by every base; a digit's value is its position.
inline constexpr std::string_view base_digits =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// ---- positional numbers -------------------------------------------------------
// The number in the base, most significant digit first; "" for zero.
// nullopt for a negative number or a base outside 2..62.
std::optional<std::string> Orvel_tobaseXX(long number, int base);
// Value of the digits (not checked against the base: "f" is 41 in any base);
// 0 for an empty text; -1 for a base outside 2..62 or a character outside
// the alphabet.
long Orvel_frombaseXX(std::string_view text, int base);

// ---- bytes as digit pairs -------------------------------------------------------
// Exactly two digits: byte / base, then byte % base, the byte taken as 0..255;
// "??" when byte / base exceeds the base (or the base is outside 2..62).
std::string int_to_baseXX_string(int byte, int base);
// first * base + second; 0 when the pair is not two alphabet characters or
// the base is outside 2..62.
int baseXX_string_to_int(std::string_view pair, int base);
// Every byte replaced by its two digits; nullopt for a base outside 2..62.
std::optional<std::string> encode_baseXX_string(std::string_view text, int base);
// The inverse of encode_baseXX_string.  nullopt for a base outside 2..62, an
// odd length, or a pair that is not a byte written in the base (a character
// outside the alphabet, or a value above 255): such a text was not made by
// the encoder, and callers read nullopt as "could not decode".
std::optional<std::string> decode_baseXX_string(std::string_view text, int base);

std::string Orvel_strreverse(std::string_view text);

// ---- alphabet walking ---------------------------------------------------------
// The character reached by starting at `start` (the first character when
// `start` is outside the alphabet) and moving `steps` places, forward when
// positive and backward when negative, wrapping at both ends.  With
// `letters_and_digits_only`, then moves forward (wrapping) to the next letter
// or digit.  0 for an empty alphabet, or when a letter or digit is asked for
// and the alphabet has none.
char traverse_string(std::string_view alphabet, long long start, long long steps,
                     bool letters_and_digits_only = false);
// Scrambles a text into characters of `alphabet`: the text is encoded in
// `base`, a random start is written first, and each digit becomes the
// alphabet character reached by a running walk over the alphabet.  The result
// is two characters longer than the encoded text.  nullopt when the alphabet
// is shorter than the base or the base is outside 2..62.
std::optional<std::string> my_encrypt_string_2(std::string_view text, std::string_view alphabet,
                                               int base);
