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
