// Secure and plain URLs: whether the request is secure, the URL namespace
// DICT_URL that templates link with, and switching it to the secure server.
#pragma once

#include <string_view>

int is_secure_request();
int is_secure_action(std::string_view action);
void populate_url_namespace();
void initialize_action_url();
void maybe_repopulate_url_namespace();
void maybe_securify_url();
// 1 when the request was answered with a redirection to the other server.
int maybe_redirect_to_insecure();
int maybe_redirect_to_secure();
