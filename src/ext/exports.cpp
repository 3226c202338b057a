// The C forms of the program's services that plug-ins call by name (see the
// end of orvel.h).  This source file reads orvel.h as a plug-in does, so the
// compiler checks every definition here against its declaration there.  The
// digests are called in their C++ form directly, with C++ argument types
// (references, std::string_view) so that a call can never resolve to the C
// form being defined.
#undef ORVEL_PROGRAM_SOURCES
#include <orvel.h>

#include "platform/digest.h"
#include "vars/vars.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

std::string_view view(const char *text) { return text ? std::string_view(text) : std::string_view(); }

char *new_cstring(const std::string &text) { return dup_cstring(text); }

unsigned char *new_digest_bytes(const MD5Digest &digest)
{
    auto *out = static_cast<unsigned char *>(std::malloc(digest.size()));
    if (out) std::memcpy(out, digest.data(), digest.size());
    return out;
}

}  // namespace

// ---- digests ---------------------------------------------------------------

extern "C" void Orvel_Digest_MD5Init(Orvel_MD5_CTX *state)
{
    if (state) Orvel_Digest_MD5Init(*state);
}

extern "C" void Orvel_Digest_MD5Update(Orvel_MD5_CTX *state, const unsigned char *bytes, unsigned int length)
{
    if (state && (bytes || length == 0)) Orvel_Digest_MD5Update(*state, static_cast<const void *>(bytes), std::size_t{length});
}

extern "C" unsigned char *Orvel_Digest_MD5Final(Orvel_MD5_CTX *state)
{
    return state ? new_digest_bytes(Orvel_Digest_MD5Final(*state)) : nullptr;
}

extern "C" unsigned char *Orvel_Digest_MD5(const unsigned char *bytes, unsigned int length, unsigned int *out_length)
{
    if (!bytes && length != 0) return nullptr;
    if (out_length) *out_length = 16;
    return new_digest_bytes(Orvel_Digest_MD5(static_cast<const void *>(bytes), std::size_t{length}));
}

extern "C" char *Orvel_Digest_MD5_Hex(const char *text) { return new_cstring(Orvel_Digest_MD5_Hex(view(text))); }

extern "C" char *Orvel_Digest_HMAC_Hex(const char *message, const char *key)
{
    return new_cstring(Orvel_Digest_HMAC_Hex(view(message), view(key)));
}

