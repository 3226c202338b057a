// HMAC-SHA-256 against the published test vectors, and the comparison
// used to check MACs.
#include "platform/hmac_sha256.h"

#include <gtest/gtest.h>

#include <string>

TEST(HmacSha256, PublishedVectors) {
    // Short key, short message.
    EXPECT_EQ(hmac_sha256_hex(std::string(20, '\x0b'), "Hi There"),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    // Key shorter than the block, message with a blank.
    EXPECT_EQ(hmac_sha256_hex("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    // Key longer than the block: hashed first.
    EXPECT_EQ(hmac_sha256_hex(std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST(HmacSha256, ConstantTimeEqualCompares) {
    EXPECT_TRUE(constant_time_equal("abc", "abc"));
    EXPECT_FALSE(constant_time_equal("abc", "abd"));
    EXPECT_FALSE(constant_time_equal("abc", "ab"));
    EXPECT_TRUE(constant_time_equal("", ""));
}
