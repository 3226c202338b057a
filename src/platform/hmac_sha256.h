// HMAC-SHA-256 (RFC 2104 over SHA-256), used to authenticate the shopper
// identities the store hands out.  The hash is libcrypto's SHA-256
// primitive; the keyed construction is done here so that a request pays
// for the hash alone and never for the library's provider start-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest hmac_sha256(std::string_view key, std::string_view message);
// The MAC as 64 lower-case hexadecimal digits.
std::string hmac_sha256_hex(std::string_view key, std::string_view message);
// Compares two texts in time that depends on their length only.
bool constant_time_equal(std::string_view a, std::string_view b);
