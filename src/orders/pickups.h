// Downloadable goods: the pick-up registry ("pickups.txt" in the catalog
// directory) of purchased files, registering the cart's downloads when an
// order is finished, checking and purging entries, and delivering a file
// from the catalog's "softgoods" directory.
//
// Registry lines are "id;file;expiry;style": the expiry is fourteen digits
// YYYYMMDDhhmmss (a shorter text counts as seconds since the epoch), the
// style "inline" or "attach".  Appending and purging hold the registry's
// lock exclusively, checking holds it shared, and every change replaces the
// file atomically, so no entry is lost to a purge running at the same time.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct pickup {
    std::string id;
    std::string file;     // relative to the softgoods directory
    std::string expires;  // at most 14 characters
    bool inline_style = false;
};

// Registers every downloadable product of the cart (one with PICKUP_FN):
// sets its PICKUP_ID, lists it in DICT_PICKUPS and sets
// SOFTGOODS_REGISTERED; then purges the registry.  Once per request and
// only for a shopper with a client id.  The result of the purge (1 when the
// request had already registered its pick-ups, 0 without a client id).
int initialize_pickups();
// Adds a registry entry for `file` with a new id; nullopt (logged) when the
// file name cannot be registered or the registry cannot be written.
std::optional<pickup> register_pickup(std::string_view client_id, std::string_view file,
                                      std::string_view expiry_text, bool inline_style);
// A new pick-up id: 32 characters of pickup_seed() drawn from the system
// random source.  It depends on neither argument, so knowing the shopper
// and the file tells nothing about it.
std::string hash_pickup(std::string_view client_id, std::string_view file);
// The 62 letters and digits pick-up ids are made of.
std::string_view pickup_seed();

// 1 when the registry line is valid (at least an id and a file), filling
// `p`; else 0.  Fields are split at ";" with empty ones skipped.
int derive_pickup(pickup &p, std::string_view line);
// True when the expiry is in the past; an empty expiry (a line with only an
// id and a file) is stale.
bool is_stale_pickup_date(std::string_view expiry_text);
// The first valid, unexpired registry entry with exactly this id.
std::optional<pickup> verify_pickup(std::string_view id);
// Drops invalid and expired entries; the number dropped.  A missing
// registry stays missing.
int purge_pickups();

// True for a file name that stays inside the softgoods directory by its
// text: non-empty, and every "/"-separated part a safe file-name component.
bool is_safe_softgoods_name(std::string_view file);
// Sends the softgoods file with its download headers: the bytes sent on
// success; -2 when its size cannot be determined (missing, not a regular
// file), -1 when it cannot be opened, -3 when it resolves (through links)
// outside the softgoods directory; nothing is sent on failure.
long long pickup_file(std::string_view file, bool inline_style);
// Sends the file at `path` to standard output after the Content-Type,
// Content-Disposition (when `download_name` is not empty) and
// Content-Length headers; -2 or -1 as pickup_file.
long long deliver_file(const std::string &path, std::string_view download_name);
