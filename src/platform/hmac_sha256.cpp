#include "platform/hmac_sha256.h"

// The one-shot and EVP interfaces initialise the library's providers on
// first use (several million instructions per process); the plain SHA-256
// context functions do not.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

namespace {

constexpr std::size_t BLOCK = 64;

Sha256Digest sha256_of(std::string_view a, std::string_view b) {
    SHA256_CTX ctx;
    SHA256_Init(&ctx);
    SHA256_Update(&ctx, a.data(), a.size());
    SHA256_Update(&ctx, b.data(), b.size());
    Sha256Digest out{};
    SHA256_Final(out.data(), &ctx);
    return out;
}

}  // namespace

Sha256Digest hmac_sha256(std::string_view key, std::string_view message) {
    std::array<std::uint8_t, BLOCK> k{};
    if (key.size() > BLOCK) {
        Sha256Digest hashed = sha256_of(key, {});
        std::copy(hashed.begin(), hashed.end(), k.begin());
    } else {
        std::copy(key.begin(), key.end(), k.begin());
    }
    std::string ipad(BLOCK, '\0'), opad(BLOCK, '\0');
    for (std::size_t i = 0; i < BLOCK; ++i) {
        ipad[i] = static_cast<char>(k[i] ^ 0x36);
        opad[i] = static_cast<char>(k[i] ^ 0x5c);
    }
    Sha256Digest inner = sha256_of(ipad, message);
    return sha256_of(opad, std::string_view(reinterpret_cast<const char *>(inner.data()), inner.size()));
}

std::string hmac_sha256_hex(std::string_view key, std::string_view message) {
    static const char digits[] = "0123456789abcdef";
    Sha256Digest mac = hmac_sha256(key, message);
    std::string hex;
    hex.reserve(mac.size() * 2);
    for (std::uint8_t b : mac) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

bool constant_time_equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}
