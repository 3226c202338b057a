// C-typed wrappers of the program's C++ services (see export_bridge.h).
#include "ext/export_bridge.h"

#include "config/paths.h"
#include "core/actions.h"
#include "platform/log.h"
#include "session/client_store.h"
#include "session/identify.h"
#include "strings/encodings.h"
#include "strings/random.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace export_bridge {

namespace {

char *copy(const std::string &s) { return dup_cstring(s); }
char *copy(const std::optional<std::string> &s) { return s ? dup_cstring(*s) : nullptr; }
std::string_view view(const char *text) { return text ? std::string_view(text) : std::string_view(); }

// Applies a C++ in-place operation to a C string; the operations used here
// change letters only, so the length stays.
template <class Operation>
void in_place(char *text, Operation operation)
{
    if (!text) return;
    std::string copy(text);
    operation(copy);
    std::memcpy(text, copy.data(), std::min(copy.size(), std::strlen(text)));
}

}  // namespace

char *logfile_name(int kind) { return copy(Orvel_get_logfile_name(kind)); }
char *users_path(const char *name) { return copy(Orvel_get_users_path(name)); }
char *orders_path(const char *name) { return copy(Orvel_get_orders_path(name)); }
char *pending_order_path(const char *name) { return copy(Orvel_get_pending_order_path(name)); }
char *random_word(int length) { return copy(Orvel_random_word(length)); }
std::time_t datetoseconds(const char *text) { return Orvel_datetoseconds(text); }
char *encapsulate_client_id() { return copy(Orvel_encapsulate_client_id()); }
int default_client_encap_version() { return Orvel_default_client_encap_version(); }
char *extract_path_info_client() { return copy(Orvel_extract_path_info_client()); }
int writable_userfiles() { return Orvel_writable_userfiles() ? 1 : 0; }
int stamp_maintenance_file() { return Orvel_stamp_maintenance_file(); }
char *tobase(long number, int base) { return copy(Orvel_tobaseXX(number, base)); }
long frombase(const char *text, int base) { return Orvel_frombaseXX(view(text), base); }
char *strreverse(const char *text) { return copy(Orvel_strreverse(view(text))); }
void capitalize_words(char *text) { in_place(text, [](std::string &s) { Orvel_Capitalize_words(s); }); }
void capitalize_sentences(char *text) { in_place(text, [](std::string &s) { Orvel_Capitalize_sentences(s); }); }
char *cookie_domain(const char *url_or_host) { return copy(Orvel_cookie_domain(view(url_or_host))); }
char *standard_cookie_name(int upper) { return copy(Orvel_standard_cookie_name(upper != 0)); }
int client_id_encapsulation_version(const char *text) { return Orvel_client_id_encapsulation_version(view(text)); }
char *extract_encapsulated_client_id(const char *text) { return copy(Orvel_extract_encapsulated_client_id(view(text))); }
int is_servable_path_info(const char *path) { return Orvel_is_servable_path_info(view(path)) ? 1 : 0; }

}  // namespace export_bridge
