// The store's identity key and the MAC that authenticates every shopper
// identity the store hands out (cookie, path and secure-switch forms).
//
// The key is 32 random bytes in "identity.key" in the catalog directory,
// created on first use (exclusively, mode 0600) and read once per process.
// A signed identity is the identity text, ".", and 64 hexadecimal digits
// of HMAC-SHA-256(key, identity text).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The key, or nullopt when it can be neither read nor created (logged).
const std::optional<std::string> &store_identity_key();
// Ends the request with an error page when the store has no usable key.
void require_identity_key();
// `text` followed by "." and its MAC; empty when there is no key.
std::string sign_identity(std::string_view text);
// The text of a signed identity whose MAC is valid, else nullopt.
std::optional<std::string> verify_identity(std::string_view signed_text);
// Tests: forget the key read by this process.
void forget_identity_key();
