// The C forms of the program's services that plug-ins call by name (see the
// end of orvel.h).  This source file reads orvel.h as a plug-in does, so the
// compiler checks every definition here against its declaration there.  The
// digests are called in their C++ form directly, with C++ argument types
// (references, std::string_view) so that a call can never resolve to the C
// form being defined; the other services, whose C++ forms cannot be declared
// next to their C forms, are reached through ext/export_bridge.h.
#undef ORVEL_PROGRAM_SOURCES
#include <orvel.h>

#include "ext/export_bridge.h"
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

// ---- paths, logs and identities --------------------------------------------

extern "C" char *Orvel_get_logfile_name(int kind) { return export_bridge::logfile_name(kind); }
extern "C" char *Orvel_get_users_path(const char *name) { return export_bridge::users_path(name); }
extern "C" char *Orvel_get_orders_path(const char *name) { return export_bridge::orders_path(name); }
extern "C" char *Orvel_get_pending_order_path(const char *name) { return export_bridge::pending_order_path(name); }
extern "C" int Orvel_writable_userfiles(void) { return export_bridge::writable_userfiles(); }
extern "C" int Orvel_stamp_maintenance_file(void) { return export_bridge::stamp_maintenance_file(); }

extern "C" char *Orvel_cookie_domain(const char *url_or_host) { return export_bridge::cookie_domain(url_or_host); }
extern "C" char *Orvel_standard_cookie_name(int upper) { return export_bridge::standard_cookie_name(upper); }
extern "C" char *Orvel_encapsulate_client_id(void) { return export_bridge::encapsulate_client_id(); }
extern "C" int Orvel_client_id_encapsulation_version(const char *text)
{
    return export_bridge::client_id_encapsulation_version(text);
}
extern "C" char *Orvel_extract_encapsulated_client_id(const char *text)
{
    return export_bridge::extract_encapsulated_client_id(text);
}
extern "C" int Orvel_default_client_encap_version(void) { return export_bridge::default_client_encap_version(); }
extern "C" char *Orvel_extract_path_info_client(void) { return export_bridge::extract_path_info_client(); }
extern "C" int Orvel_is_servable_path_info(const char *path) { return export_bridge::is_servable_path_info(path); }

// ---- strings and encodings ---------------------------------------------------

extern "C" char *Orvel_random_word(int length) { return export_bridge::random_word(length); }
extern "C" char *Orvel_tobaseXX(long number, int base) { return export_bridge::tobase(number, base); }
extern "C" long Orvel_frombaseXX(const char *text, int base) { return export_bridge::frombase(text, base); }
extern "C" char *Orvel_strreverse(const char *text) { return export_bridge::strreverse(text); }
extern "C" time_t Orvel_datetoseconds(const char *text) { return export_bridge::datetoseconds(text); }

extern "C" char *Orvel_Capitalize_words(char *text)
{
    export_bridge::capitalize_words(text);
    return text;
}
extern "C" char *Orvel_Capitalize_sentences(char *text)
{
    export_bridge::capitalize_sentences(text);
    return text;
}
