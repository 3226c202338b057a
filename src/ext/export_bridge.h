// The program's C++ services in C-typed form, for ext/exports.cpp.  Their C
// forms for plug-ins carry the same names, and several have the same
// parameters, so the two cannot be declared in one source file; exports.cpp
// defines the C forms on top of these.  Returned strings are malloc'd;
// nullptr stands for "none".
#pragma once

#include <ctime>

namespace export_bridge {

char *logfile_name(int kind);
char *users_path(const char *name);
char *orders_path(const char *name);
char *pending_order_path(const char *name);
char *random_word(int length);
std::time_t datetoseconds(const char *text);
char *encapsulate_client_id();
int default_client_encap_version();
char *extract_path_info_client();
int writable_userfiles();
int stamp_maintenance_file();
char *tobase(long number, int base);
long frombase(const char *text, int base);
char *strreverse(const char *text);
// In place, for texts whose length the operation keeps.
void capitalize_words(char *text);
void capitalize_sentences(char *text);
char *cookie_domain(const char *url_or_host);
char *standard_cookie_name(int upper);
int client_id_encapsulation_version(const char *text);
char *extract_encapsulated_client_id(const char *text);
int is_servable_path_info(const char *path);

}  // namespace export_bridge
