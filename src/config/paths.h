// Where catalog files live: the users, orders and pending directories, the
// shopper's theme and the themed template, rule and loop paths, and which
// template file a template name means.
#pragma once

#include <orvel.h>

#include <string>
#include <string_view>

// True for a text that can safely be one component of a file name: not
// empty, not beginning with ".", and holding no "/", backslash, "..", NUL,
// CR or LF.
bool is_safe_filename_component(std::string_view name);

std::string Orvel_get_users_path(const char *name = nullptr);
std::string Orvel_get_orders_path(const char *name = nullptr);
std::string Orvel_get_pending_order_path(const char *name = nullptr);

// Letters, digits, "_", "-" and "." (not leading, no ".."): a theme name.
bool is_valid_theme_name(std::string_view name);
std::string get_theme();
std::string get_theme_root();
std::string get_themed_pathname_only(std::string_view kind, std::string_view name);
std::string get_themed_pathname_or_default(std::string_view kind, std::string_view name);
std::string get_rules_pathname(std::string_view name);
std::string get_loops_pathname(std::string_view name);
std::string get_servable_pathname(std::string_view name);

// The loop definition text of `name` (lines with "#" comments and trailing
// blanks cut, empty lines dropped), or nullptr when the file is missing.
// Up to 10 loop texts are cached per process; the text belongs to the cache
// unless `owned` is set on return, when the caller must free_text it.
text *get_loop_text(std::string_view name, bool *owned = nullptr);

// True for a name that stays inside the directory it is looked up in: not
// empty, not beginning with ".", and holding no "..".  Template, page and
// loop names all pass this check.
bool is_safe_template_name(std::string_view name);
bool accept_template_filename(std::string_view name);
std::string get_template_pathname(std::string_view name);
