// The configuration file: finding, reading and validating orvel.config into
// DICT_CONFIG, the template tag characters and option-code delimiter it
// sets, and typed reads of configuration values.
#pragma once

#include <orvel.h>

#include <optional>
#include <string>
#include <string_view>

extern "C" {
extern char OVML_Tag_Open;
extern char OVML_Tag_Close;
extern char Option_Code_Delimiter;
extern const char *required_config_fields[];
}

// Reads the configuration; nullopt on success, else the not-found message.
std::optional<std::string> fill_config();
// The path the configuration is read from when "orvel.config" cannot be
// opened in the working directory, or nullopt.
std::optional<std::string> find_existing_config_fn();
// Opens the configuration: the open file (or nullptr when the path found
// could not be opened) and, when no path was found, the message.
std::optional<std::string> find_config(FILE **file);
void validate_config();
void initialize_url();

// Typed reads of DICT_CONFIG (absent keys read as "", default or false).
std::string_view config_string(std::string_view key);
int config_integer(std::string_view key, int def);
bool config_boolean(std::string_view key);
bool config_defined(std::string_view key);
