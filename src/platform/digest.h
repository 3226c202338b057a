// Message digests for templates: MD5 (RFC 1321) and HMAC-MD5 (RFC 2104),
// as raw bytes or as 32 lower-case hexadecimal digits.  The state record and
// Orvel_Digest_Transform are shared with plug-ins (orvel.h), which also get
// C forms of the functions below (defined in ext/exports.cpp).
#pragma once

#include <orvel.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using MD5Digest = std::array<std::uint8_t, 16>;

using MD5State = Orvel_MD5_CTX;

void Orvel_Digest_MD5Init(MD5State &ctx);
void Orvel_Digest_MD5Update(MD5State &ctx, const void *bytes, std::size_t length);
// Pads, appends the length and returns the digest; the state is wiped.
MD5Digest Orvel_Digest_MD5Final(MD5State &ctx);

MD5Digest Orvel_Digest_MD5(const void *bytes, std::size_t length);
std::string Orvel_Digest_MD5_Hex(std::string_view text);
// HMAC-MD5 of `message` under `key` (message first, key second).
std::string Orvel_Digest_HMAC_Hex(std::string_view message, std::string_view key);
