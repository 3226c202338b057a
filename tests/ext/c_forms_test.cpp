// The C forms of the program's services, as a plug-in sees them: this file
// reads orvel.h the way a plug-in does (without the program's C++ forms).
#undef ORVEL_PROGRAM_SOURCES
#include <orvel.h>

#include "support/state.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Takes over a malloc'd string.
std::string owned(char *s)
{
    std::string out = s ? s : "(null)";
    std::free(s);
    return out;
}

}  // namespace

TEST(CForms, DigestsComeBackNewlyAllocated)
{
    EXPECT_EQ(owned(Orvel_Digest_MD5_Hex("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(owned(Orvel_Digest_HMAC_Hex("what do ya want for nothing?", "Jefe")), "750c783e6ab0b503eaa86e310a5db738");
    EXPECT_EQ(owned(Orvel_Digest_MD5_Hex(nullptr)), "d41d8cd98f00b204e9800998ecf8427e");

    unsigned int length = 0;
    unsigned char *digest = Orvel_Digest_MD5(reinterpret_cast<const unsigned char *>("abc"), 3, &length);
    ASSERT_NE(digest, nullptr);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(digest[0], 0x90);
    EXPECT_EQ(digest[15], 0x72);
    std::free(digest);

    // Incremental: the same digest from two updates.
    Orvel_MD5_CTX ctx;
    Orvel_Digest_MD5Init(&ctx);
    Orvel_Digest_MD5Update(&ctx, reinterpret_cast<const unsigned char *>("a"), 1);
    Orvel_Digest_MD5Update(&ctx, reinterpret_cast<const unsigned char *>("bc"), 2);
    unsigned char *final = Orvel_Digest_MD5Final(&ctx);
    ASSERT_NE(final, nullptr);
    EXPECT_EQ(final[0], 0x90);
    EXPECT_EQ(final[15], 0x72);
    std::free(final);
}

TEST(CForms, StringServices)
{
    orvel_test::FreshDictionaries dicts;
    EXPECT_EQ(owned(Orvel_strreverse("abc")), "cba");
    EXPECT_EQ(owned(Orvel_tobaseXX(61, 62)), "z");
    EXPECT_EQ(Orvel_tobaseXX(-1, 62), nullptr);
    EXPECT_EQ(Orvel_frombaseXX("z", 62), 61);
    char words[] = "hello there world";
    EXPECT_EQ(Orvel_Capitalize_words(words), words);
    EXPECT_STREQ(words, "Hello There World");
    EXPECT_EQ(Orvel_is_servable_path_info("/page.html"), 1);
    EXPECT_EQ(Orvel_is_servable_path_info("/ovpi/u/x.html"), 0);
    EXPECT_EQ(owned(Orvel_cookie_domain("http://www.shop.test/x")), ".shop.test");
    EXPECT_EQ(Orvel_extract_encapsulated_client_id("nonsense"), nullptr);
    set_var(DICT_CONFIG, "ORVEL_DEBUG_LOG", TYPE_STRING, strdup("/tmp/debug.here"));
    EXPECT_EQ(owned(Orvel_get_logfile_name(2)), "/tmp/debug.here");
    EXPECT_EQ(owned(Orvel_random_word(12)).size(), 12u);
}
