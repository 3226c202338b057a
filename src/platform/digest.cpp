// MD5 and HMAC-MD5, written from RFC 1321 and RFC 2104.
#include "platform/digest.h"

#include <algorithm>
#include <cstring>

namespace {

inline std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t load_le(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void store_le(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Per-step shift amounts and sine-derived constants of RFC 1321.
constexpr int shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
constexpr std::uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

std::string to_hex(const MD5Digest &d)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(32);
    for (std::uint8_t b : d) {
        out += digits[b >> 4];
        out += digits[b & 0x0f];
    }
    return out;
}

}  // namespace

extern "C" void Orvel_Digest_Transform(std::uint32_t state[4], const unsigned char block[64])
{
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = load_le(block + 4 * i);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        std::uint32_t f;
        int k;
        switch (round) {
        case 0: f = (b & c) | (~b & d); k = i; break;
        case 1: f = (b & d) | (c & ~d); k = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
        }
        const std::uint32_t next = b + rotl(a + f + x[k] + sines[i], shifts[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void Orvel_Digest_MD5Init(MD5State &ctx)
{
    ctx.count[0] = ctx.count[1] = 0;
    ctx.state[0] = 0x67452301;
    ctx.state[1] = 0xefcdab89;
    ctx.state[2] = 0x98badcfe;
    ctx.state[3] = 0x10325476;
    std::memset(ctx.buffer, 0, sizeof ctx.buffer);
}

void Orvel_Digest_MD5Update(MD5State &ctx, const void *bytes, std::size_t length)
{
    const auto *in = static_cast<const std::uint8_t *>(bytes);
    std::size_t used = (ctx.count[0] >> 3) & 0x3f;
    const std::uint64_t bits = static_cast<std::uint64_t>(length) << 3;
    const std::uint32_t low = ctx.count[0];
    ctx.count[0] += static_cast<std::uint32_t>(bits);
    ctx.count[1] += static_cast<std::uint32_t>(bits >> 32) + (ctx.count[0] < low ? 1 : 0);

    while (length > 0) {
        const std::size_t take = std::min(length, sizeof ctx.buffer - used);
        std::memcpy(ctx.buffer + used, in, take);
        used += take;
        in += take;
        length -= take;
        if (used == sizeof ctx.buffer) {
            Orvel_Digest_Transform(ctx.state, ctx.buffer);
            used = 0;
        }
    }
}

MD5Digest Orvel_Digest_MD5Final(MD5State &ctx)
{
    std::uint8_t length_bytes[8];
    store_le(length_bytes, ctx.count[0]);
    store_le(length_bytes + 4, ctx.count[1]);
    const std::size_t used = (ctx.count[0] >> 3) & 0x3f;
    const std::size_t pad = used < 56 ? 56 - used : 120 - used;
    static const std::uint8_t padding[64] = {0x80};
    Orvel_Digest_MD5Update(ctx, padding, pad);
    Orvel_Digest_MD5Update(ctx, length_bytes, sizeof length_bytes);
    MD5Digest out;
    for (int i = 0; i < 4; ++i) store_le(out.data() + 4 * i, ctx.state[i]);
    std::memset(&ctx, 0, sizeof ctx);
    return out;
}

MD5Digest Orvel_Digest_MD5(const void *bytes, std::size_t length)
{
    MD5State ctx;
    Orvel_Digest_MD5Init(ctx);
    Orvel_Digest_MD5Update(ctx, bytes, length);
    return Orvel_Digest_MD5Final(ctx);
}

std::string Orvel_Digest_MD5_Hex(std::string_view text) { return to_hex(Orvel_Digest_MD5(text.data(), text.size())); }

std::string Orvel_Digest_HMAC_Hex(std::string_view message, std::string_view key)
{
    constexpr std::size_t block = 64;
    std::uint8_t k[block] = {};
    if (key.size() > block) {
        const MD5Digest short_key = Orvel_Digest_MD5(key.data(), key.size());
        std::memcpy(k, short_key.data(), short_key.size());
    } else if (!key.empty()) {
        std::memcpy(k, key.data(), key.size());
    }
    std::uint8_t ipad[block], opad[block];
    for (std::size_t i = 0; i < block; ++i) {
        ipad[i] = static_cast<std::uint8_t>(k[i] ^ 0x36);
        opad[i] = static_cast<std::uint8_t>(k[i] ^ 0x5c);
    }
    MD5State ctx;
    Orvel_Digest_MD5Init(ctx);
    Orvel_Digest_MD5Update(ctx, ipad, block);
    Orvel_Digest_MD5Update(ctx, message.data(), message.size());
    const MD5Digest inner = Orvel_Digest_MD5Final(ctx);
    Orvel_Digest_MD5Init(ctx);
    Orvel_Digest_MD5Update(ctx, opad, block);
    Orvel_Digest_MD5Update(ctx, inner.data(), inner.size());
    return to_hex(Orvel_Digest_MD5Final(ctx));
}
