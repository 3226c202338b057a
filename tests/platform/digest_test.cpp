// MD5 and HMAC-MD5 against the published test vectors, and incremental
// updates that cross block and padding boundaries.
#include "platform/digest.h"

#include <gtest/gtest.h>

#include <string>

TEST(Digest, Md5MatchesTheRfc1321TestSuite)
{
    EXPECT_EQ(Orvel_Digest_MD5_Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Orvel_Digest_MD5_Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Orvel_Digest_MD5_Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Orvel_Digest_MD5_Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Orvel_Digest_MD5_Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Orvel_Digest_MD5_Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    std::string digits;
    for (int i = 0; i < 8; ++i) digits += "1234567890";
    EXPECT_EQ(Orvel_Digest_MD5_Hex(digits), "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Digest, PiecewiseUpdatesEqualOneShot)
{
    // Lengths around the 56-byte padding limit and the 64-byte block.
    for (std::size_t total : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 200u}) {
        std::string data;
        for (std::size_t i = 0; i < total; ++i) data += static_cast<char>('!' + i % 90);
        const MD5Digest whole = Orvel_Digest_MD5(data.data(), data.size());
        for (std::size_t piece : {1u, 7u, 63u, 64u}) {
            MD5State ctx;
            Orvel_Digest_MD5Init(ctx);
            for (std::size_t at = 0; at < data.size(); at += piece)
                Orvel_Digest_MD5Update(ctx, data.data() + at, std::min(piece, data.size() - at));
            EXPECT_EQ(Orvel_Digest_MD5Final(ctx), whole) << total << " bytes in pieces of " << piece;
        }
    }
}

TEST(Digest, HmacMatchesTheRfc2104Examples)
{
    EXPECT_EQ(Orvel_Digest_HMAC_Hex("Hi There", std::string(16, '\x0b')), "9294727a3638bb1c13f48ef8158bfc9d");
    EXPECT_EQ(Orvel_Digest_HMAC_Hex("what do ya want for nothing?", "Jefe"), "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(Orvel_Digest_HMAC_Hex(std::string(50, '\xdd'), std::string(16, '\xaa')),
              "56be34521d144c88dbb8c733f0e8b3f6");
    EXPECT_EQ(Orvel_Digest_HMAC_Hex("", ""), "74e6f7298a9c2d168935f58c001bad88");
    // Keys longer than a block are hashed first; a message longer than a
    // block too.
    EXPECT_EQ(Orvel_Digest_HMAC_Hex("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
                                    std::string(80, '\xaa')),
              "6f630fad67cda0ee1fb1f562db3aa53e");
    // A key of exactly one block is used as it is, so it differs from its
    // hashed form.
    const std::string block_key(64, 'k');
    const MD5Digest hashed = Orvel_Digest_MD5(block_key.data(), block_key.size());
    EXPECT_NE(Orvel_Digest_HMAC_Hex("m", block_key),
              Orvel_Digest_HMAC_Hex("m", std::string(reinterpret_cast<const char *>(hashed.data()), hashed.size())));
}
