#include "platform/errors.h"

#include "catalog/selection.h"
#include "cgi/output.h"
#include "config/config.h"
#include "config/paths.h"
#include "ext/plugins.h"
#include "ovml/render.h"
#include "ovml/tokens.h"
#include "platform/files.h"
#include "platform/log.h"
#include "rules/rules.h"
#include "session/client_store.h"
#include "session/session.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdarg>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace {

std::optional<std::string> first_error;
constexpr std::size_t MESSAGE_MAX = 8192;

[[noreturn]] void plain_error_page(const std::string &message) {
    xprintf("<title>Something's Wrong...</title>\n\n<body bgcolor=\"white\">\n\n<hr>\n\n"
            "<blockquote><p>%s</p></blockquote>\n\n<hr>\n",
            message.c_str());
    my_exit(1);
}

bool template_exists(std::string_view name, std::string &path) {
    path = get_template_pathname(name);
    return fn_exists(path) == 1;
}

}  // namespace

const std::string *first_fatal_error() { return first_error ? &*first_error : nullptr; }

void cgidie(const char *format, ...) {
    record_error();
    if (first_error) plain_error_page(*first_error);
    va_list args;
    va_start(args, format);
    first_error = dupvsprintf(format, args);
    va_end(args);
    if (DICT_ORVEL) set_string(DICT_ORVEL, "MESSAGE", *first_error);
    std::string path;
    if (DICT_CONFIG && config_defined("CAT_DIR") && template_exists("error", path)) {
        print_OVML_File(path);
        my_exit(1);
    }
    plain_error_page(*first_error);
}

void cgimsg(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string message = dupvsprintf(format, args);
    va_end(args);
    set_string(DICT_ORVEL, "MESSAGE", message);
    print_OVML_File(get_template_pathname("message"));
    write_client();
    my_exit(0);
}

std::string cook_custom_message(std::string_view name, std::string_view def, bool cook,
                                MessagePairs pairs) {
    maybe_get_custom_rules();
    std::string_view custom = DICT_MESSAGES ? var_string(DICT_MESSAGES, name) : std::string_view();
    std::string text(custom.empty() ? def : custom);
    if (cook) text = ovmlsub(text);
    for (const auto &[placeholder, replacement] : pairs) text = strisub(text, placeholder, replacement);
    if (text.size() > MESSAGE_MAX) text.resize(MESSAGE_MAX);
    return text;
}

void speak_custom_message(std::string_view name, std::string_view template_name, std::string_view def,
                          bool cook, MessagePairs pairs) {
    std::string message = cook_custom_message(name, def, cook, pairs);
    std::string path;
    if (!template_exists(lower("custom/" + std::string(name) + ".html"), path) &&
        !template_exists(template_name, path))
        path = get_template_pathname("message");
    set_string(DICT_ORVEL, "MESSAGE", message);
    print_OVML_File(path);
}

void croak_custom_message(std::string_view name, std::string_view template_name, std::string_view def,
                          bool cook, MessagePairs pairs) {
    speak_custom_message(name, template_name, def, cook, pairs);
    my_exit(1);
}

void write_session_log_line(int status) {
    if (!DICT_ORVEL || !DICT_SHOPPER) return;
    std::string_view action = var_string(DICT_SHOPPER, "ACTION");
    std::string desc(action);
    if (!action.empty() && my_stristr("SERVE;RETURN", action) != npos)
        desc += " " + std::string(var_string(DICT_SHOPPER, "PAGE"));
    set_string(DICT_ORVEL, "LOG_ACTION_DESC", desc);
    set_string(DICT_ORVEL, "LOG_CART_STRING", get_selected_products_string());
    set_string(DICT_ORVEL, "LOG_CLOCK", dupsprintf("%.3f", my_clock()));
    set_integer(DICT_ORVEL, "LOG_STATUS", status);
    bool vuk = var_boolean(DICT_ORVEL, "VUK_VERSION");
    std::string_view format = config_string(vuk ? "VUK_LOG_FORMAT" : "LOG_FORMAT");
    if (format.empty())
        format = vuk ? "\"%OVH_REMOTE_HOST|%OVH_REMOTE_ADDR\" %OVH_VUK_USERNAME <%OVH_VUK_UID> "
                       "%OVH_LOG_ACTION_DESC (%OVH_LOG_CLOCK seconds; status = %OVH_LOG_STATUS)"
                     : "\"%OVH_REMOTE_HOST|%OVH_REMOTE_ADDR\" %OVE_CLIENT %OVH_LOG_ACTION_DESC "
                       "[%OVH_LOG_CART_STRING] (%OVH_LOG_CLOCK seconds; status = %OVH_LOG_STATUS)";
    ovlog("%s", render_OVML_String(format).c_str());
}

extern "C" void my_exit(int status) {
    if (status <= 2) write_session_log_line(status);
    release_held_output();
    std::fflush(stdout);
    shutdown_plugins();
    std::fflush(nullptr);
    ::_exit(status);
}
