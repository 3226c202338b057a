#include "cgi/output.h"

#include "config/config.h"
#include "config/paths.h"
#include "ovml/render.h"
#include "platform/files.h"
#include "rules/rules.h"
#include "session/session.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <optional>

namespace {

enum class Kind { Undecided, Normal, NoContent, Redirect };

struct OutputState {
    bool suppressed = false;
    bool header_end_pending = true;
    std::optional<std::string> status;
    Kind kind = Kind::Undecided;
    std::optional<std::string> target;
    bool status_printed = false, target_printed = false, cookie_printed = false,
         lastmod_printed = false, expiry_printed = false, rules_printed = false,
         content_type_printed = false;
} out;

void emit(std::string_view s) { std::fwrite(s.data(), 1, s.size(), stdout); }

// While the response is held, `stdout` is an in-memory stream and the real
// standard output waits in `real_stdout`.
FILE *real_stdout = nullptr;
char *held_data = nullptr;
std::size_t held_size = 0;

bool open_hold() {
    FILE *memory = ::open_memstream(&held_data, &held_size);
    if (!memory) return false;
    stdout = memory;
    return true;
}

void close_hold() {
    std::fclose(stdout);
    std::free(held_data);
    held_data = nullptr;
    held_size = 0;
}

bool status_emitted(int status) {
    std::string_view wanted = config_string("HTTP_STATUS");
    if (wanted.empty() || status < -999 || status > 999) return true;
    return strword(wanted, std::to_string(status == 0 ? 200 : status)) != npos;
}

void print_header_rules() {
    std::optional<std::string> rules = get_possibly_OVMLified_Rules(get_rules_pathname("header.rules"), true);
    if (!rules) return;
    const std::string &contents = *rules;
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();
        std::string_view line(contents.data() + start, end - start);
        start = end + 1;
        PrefLine pref;
        if (strwhite(line) || explode_colon(":", '#', line, pref) != 0) continue;
        emit(header_safe(pref.name) + ": " + header_safe(pref.value) + "\n");
    }
}

}  // namespace

std::string header_safe(std::string_view value) {
    std::string s(value);
    for (char &c : s)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return s;
}

bool headers_sent() { return out.status_printed; }

void header_block_written_directly() {
    out.status_printed = out.target_printed = out.cookie_printed = out.lastmod_printed = out.expiry_printed =
        out.rules_printed = out.content_type_printed = true;
    out.kind = Kind::Normal;
    out.header_end_pending = false;
}

void begin_held_output() {
    if (real_stdout) return;
    std::fflush(stdout);
    FILE *real = stdout;
    // Without memory for the hold, the response simply goes out directly.
    if (open_hold()) real_stdout = real;
}

void release_held_output() {
    if (!real_stdout) return;
    std::fflush(stdout);
    std::fwrite(held_data, 1, held_size, real_stdout);
    close_hold();
    stdout = real_stdout;
    real_stdout = nullptr;
    std::fflush(stdout);
}

void discard_held_output() {
    if (!real_stdout) return;
    close_hold();
    if (!open_hold()) {
        stdout = real_stdout;
        real_stdout = nullptr;
    }
    out = OutputState{};
}

const std::string &status_line(int status, const char *location) {
    if (out.status) return *out.status;
    bool full = config_boolean("PROVIDE_HEADERS");
    bool emitted = status_emitted(status);
    std::string text;
    if (status == 204) {
        if (full) text = "HTTP/1.0 204 204\n";
        else if (emitted) text = "Status: 204 204\n";
    } else if (status == 301) {
        int number = config_defined("REDIRECT_STATUS") ? config_integer("REDIRECT_STATUS", 301) : 301;
        std::string where = header_safe(location ? location : "");
        if (full) text = dupsprintf("HTTP/1.0 %d %d\nLocation: %s\n", number, number, where.c_str());
        else if (emitted) text = dupsprintf("Status: %d %d\nLocation: %s\n", number, number, where.c_str());
    } else {
        if (full) text = "HTTP/1.0 200 200\n";
        else if (emitted) text = "Status: 200 200\n";
    }
    out.status = std::move(text);
    return *out.status;
}

const std::string &window_target(const char *name) {
    if (out.target) return *out.target;
    std::string line;
    auto configured = [&](std::string_view key, std::string_view fallback) {
        std::string_view v = config_string(key);
        if (v.empty()) line = "Window-target: " + std::string(fallback) + "\n";
        else if (!strisame(v, "DISABLE")) line = "Window-target: " + header_safe(v) + "\n";
    };
    if (name && !config_boolean("DISABLE_TARGETS")) {
        std::string_view n(name);
        if (n == "OV_CHECKOUT") configured("CHECKOUT_TARGET", "_top");
        else if (n == "OV_VIEW") configured("ADD_TARGET", "OV_VIEW");
        else if (n == "OV_FRAMESET") configured("FRAMESET_TARGET", "_top");
        else line = "Window-target: " + header_safe(n) + "\n";
    }
    out.target = std::move(line);
    return *out.target;
}

void print_HTTP_header() {
    if (!out.status_printed) {
        const std::string &status = status_line(0, nullptr);
        emit(status);
        out.status_printed = true;
        if (status.find("204") != std::string::npos) out.kind = Kind::NoContent;
        else if (status.find("301") != std::string::npos) out.kind = Kind::Redirect;
        else out.kind = Kind::Normal;
    }
    if (out.kind == Kind::Normal) {
        if (!out.target_printed) {
            out.target_printed = true;
            emit(window_target(nullptr));
        }
        if (!out.cookie_printed) {
            out.cookie_printed = true;
            emit(orvelcookie(0));
        }
        if (!out.lastmod_printed) {
            out.lastmod_printed = true;
            if (config_boolean("HTTP_LASTMOD") && DICT_ORVEL) {
                std::time_t t = fn_lastmod(std::string(var_string(DICT_ORVEL, "TOP_DOC")));
                if (t > 0) emit("Last-Modified: " + new_rfc1123_date(t) + "\n");
            }
        }
        if (!out.expiry_printed) {
            out.expiry_printed = true;
            int expires = config_integer("HTTP_EXPIRES", 0);
            if (expires == 0) emit("Pragma: no-cache\nCache-Control: no-Cache\n");
            if (expires >= 0) emit("Expires: " + cookie_time(std::time(nullptr) + expires) + "\n");
        }
        if (!out.rules_printed) {
            out.rules_printed = true;
            print_header_rules();
        }
    }
    if (!out.content_type_printed) {
        out.content_type_printed = true;
        std::string_view list = config_string("HTTP_CONTENT_TYPE");
        bool print = out.kind == Kind::Normal ||
                     (out.kind == Kind::NoContent && striword(list, "204") != npos) ||
                     (out.kind == Kind::Redirect && striword(list, "301") != npos);
        if (print) emit("Content-type: text/html\n");
    }
}

void xputs(std::string_view text) {
    if (out.suppressed) return;
    print_HTTP_header();
    if (out.header_end_pending) {
        out.header_end_pending = false;
        emit("\n");
    }
    emit(text);
}

void xprintf(const char *format, ...) {
    if (!format) {
        out.suppressed = true;
        return;
    }
    if (out.suppressed) return;
    va_list args;
    va_start(args, format);
    std::string text = dupvsprintf(format, args);
    va_end(args);
    xputs(text);
}

void print_no_content() {
    status_line(204, nullptr);
    if (config_boolean("NO_CONTENT_BODY")) {
        std::string path = get_template_pathname("e204");
        if (fn_exists(path) != 1) {
            set_string(DICT_ORVEL, "MESSAGE", "Your request was processed.");
            path = get_template_pathname("error");
        }
        print_OVML_File(path);
    } else {
        xprintf("%s", "");
    }
}

int print_redirection(std::string_view location) {
    std::string where(location);
    status_line(301, where.c_str());
    if (config_boolean("REDIRECT_BODY")) {
        set_string(DICT_ORVEL, "MESSAGE",
                   "Either your browser or this web server does not support automatic redirection.  "
                   "Please click <A HREF=\"" + quote_html_specials(where) + "\">here</A> to continue.");
        print_OVML_File(get_template_pathname("message"));
    } else {
        xprintf("%s", "");
    }
    return 0;
}

std::string cookie_time(std::time_t when) { return new_rfc1123_date(when); }
