// Recognising a returning shopper: the client id from the command line,
// the store's cookie, the path information or the query, each checked
// against the session file and the request; the cookie the response sends
// back; and the encapsulated (expiring) form of a client id.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// One identification run: ids refused by an earlier source stay refused.
struct statetracker {
    std::string rejected;   // ";" followed by each rejected id
    std::string nominee;
    bool has_nominee = false;
    bool approved = false;
};

void init_statetracker(statetracker &t);
int statetracker_nominate(statetracker &t, std::string_view id);
std::optional<std::string> statetracker_approve(statetracker &t);
std::nullopt_t statetracker_reject(statetracker &t);

std::optional<std::string> find_passed_client();
std::optional<std::string> find_returning_cmdline_client(statetracker &t);
std::optional<std::string> find_returning_cookie_client(statetracker &t);
std::optional<std::string> inspect_cookie_client(statetracker &t, std::string_view cookie_value);
std::optional<std::string> find_returning_path_info_client(statetracker &t);
std::optional<std::string> find_returning_query_client(statetracker &t);

const char *returning_client_invalid(const std::string &id);
bool client_forgot_cookie(std::string_view id);
bool is_infantile_client(std::string_view id);
bool is_allowed_referer();

std::string Orvel_cookie_domain(std::string_view url_or_host);
std::string Orvel_standard_cookie_name(bool upper);
std::string bake_multidomain_cookie(std::string_view name, std::string_view value, std::string_view expires);
long get_cookie_expire_period();
long get_user_reap_threshold();

// The current shopper's identity as handed out: the encapsulated id,
// signed with the store's identity key ("" without a shopper or a key).
std::string Orvel_encapsulate_client_id();
// The encapsulated id before signing (the cookie signs it together with
// its baked lines).
std::string unsigned_encapsulated_client_id();
std::string encapsulate_client_id(std::string_view id, int version, long expiry);
int Orvel_client_id_encapsulation_version(std::string_view text);
// The client id of a signed encapsulated identity, or nullopt when its MAC
// does not verify, it cannot be decoded or it has expired.
std::optional<std::string> Orvel_extract_encapsulated_client_id(std::string_view text);
// The same for an encapsulated id whose signature was already checked.
std::optional<std::string> extract_unsigned_client_id(std::string_view text);
int Orvel_default_client_encap_version();
std::optional<std::string> Orvel_extract_path_info_client();
bool Orvel_is_servable_path_info(std::string_view path);
