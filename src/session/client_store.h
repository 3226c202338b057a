// The client file store: client ids, the session file of each shopper
// (reading, writing, the pre-read used while a returning shopper is
// checked), the kept copy after an order, forgetting a shopper, and the
// lock that serialises one shopper's requests.
#pragma once

#include <orvel.h>

#include <optional>
#include <string>
#include <string_view>

std::string new_client_id();
bool client_exists(std::string_view id);
// nullptr for a usable id, else the reason.  Anything but exactly eight
// ASCII digits is refused, so an id can never name a file outside the
// users directory.
const char *is_invalid_client_id(const char *id);
void allocate_new_client();
// Removes the session file (and lock file) reserved for a new shopper by
// this request, for requests that end without saving a session.
void discard_new_client_reservation();
std::optional<std::string> get_client_id();
std::string get_client_id_string();
// Paths of the session file and the kept file; the current shopper when
// `id` is empty; nullopt when there is no usable id at all.
std::optional<std::string> get_client_fn(std::string_view id = {});
std::optional<std::string> get_kept_client_fn(std::string_view id = {});
bool Orvel_writable_userfiles();

// Takes (waiting if need be) the lock that serialises the requests of
// shopper `id`, releasing any lock held for another shopper.  It is held
// until the process ends or another shopper's lock is taken.
void lock_client(std::string_view id);

text *read_client_raw(std::string_view id);
void read_client_from_text(const text *lines, var *shopper, var *selected);
int read_client_from_id_into(std::string_view id, var *shopper, var *selected);
int read_client();
int preread_client(std::string_view id);
void delete_preread_client();
void bless_preread_client();

void write_client_to_text(text *out, bool cookie_only);
void write_client();

void delete_client_files();
void nuke_userfile_client_data();
void wipe_client_region(std::string_view first, std::string_view last);
void forget_client();
int maybe_delete_client();
int maybe_burn_cookie();
void nuke_selected();
