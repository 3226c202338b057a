// The shopper's session: recognising a returning shopper, reading and
// writing the session file, the CGI facts about the shopper, and the cart
// clean-up run at the start of every request.
#pragma once

#include <string>

// 1 when a returning shopper was recognised (their pre-read session
// blessed), else 0: a new shopper was allocated.
int identify_client();
void initialize_client();
void set_client_http_data();
void save_previous_non_orvel_referer();
std::string referer_not_orvel();
void transfer_env(const char *name, const char *target);
// Five-letter tag standing for the remote shopper in debug lines.
std::string remote_user_hash();
// Removes cart entries whose quantity is 0 or less.
void weed_selected();
// The Set-Cookie header line(s) of this response, or "": kind 0 the normal
// cookie (cached per request), 1 a cookie that deletes the stored one, 2 none.
std::string orvelcookie(int kind);
