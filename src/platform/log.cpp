#include "platform/log.h"

#include "config/config.h"
#include "cgi/secure.h"
#include "platform/files.h"
#include "session/session.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdio>
#include <unistd.h>

namespace {

enum Writer { W_ERROR, W_LOG, W_DEPREC, W_DEBUG, W_DEBUGST, W_COUNT };
int enabled_state[W_COUNT] = {-1, -1, -1, -1, -1};
int vuk_mode = -1;

int kind_of(Writer w) {
    switch (w) {
    case W_ERROR: return LOG_ERROR;
    case W_DEBUG:
    case W_DEBUGST: return LOG_DEBUG;
    case W_DEPREC: return LOG_DEPREC;
    default: return LOG_COMMON;
    }
}

bool writer_enabled(Writer w) {
    if (enabled_state[w] < 0) enabled_state[w] = fn_exists(Orvel_get_logfile_name(kind_of(w)));
    return enabled_state[w] == 1;
}

// Request data must not be able to forge log lines: line breaks in the
// message become blanks.
std::string one_line(std::string text) {
    for (char &c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

void write_line(Writer w, const char *format, va_list args) {
    if (!writer_enabled(w)) return;
    logvprintf(Orvel_get_logfile_name(kind_of(w)), format, args);
}

}  // namespace

void reset_log_state() {
    for (int &s : enabled_state) s = -1;
    vuk_mode = -1;
}

std::string Orvel_get_logfile_name(int kind) {
    if (vuk_mode < 0) vuk_mode = DICT_ORVEL && var_boolean(DICT_ORVEL, "VUK_VERSION") ? 1 : 0;
    const char *prefix = vuk_mode ? "VUK" : "ORVEL";
    const char *stem = vuk_mode ? "vuk" : "orvel";
    const char *key, *ext;
    switch (kind) {
    case LOG_ERROR: key = "_ERROR_LOG", ext = ".err"; break;
    case LOG_DEBUG: key = "_DEBUG_LOG", ext = ".bug"; break;
    case LOG_DEPREC: key = "_DEPREC_LOG", ext = ".dep"; break;
    default: key = "_COMMON_LOG", ext = ".log"; break;
    }
    std::string_view configured = config_string(std::string(prefix) + key);
    if (!configured.empty()) return std::string(configured);
    return std::string(stem) + ext;
}

namespace {

bool append_line(const std::string &path, const std::string &message) {
    FILE *f = std::fopen(path.c_str(), "a");
    if (!f) return false;
    std::fprintf(f, "%u.%s: %s\n", static_cast<unsigned>(::getpid()), my_strdatetime().c_str(),
                 one_line(message).c_str());
    return std::fclose(f) == 0;
}

}  // namespace

bool logvprintf(const std::string &path, const char *format, va_list args) {
    return append_line(path, dupvsprintf(format, args));
}

#define ORVEL_LOG_WRITER(fn, writer)        \
    extern "C" void fn(const char *format, ...) { \
        va_list args;                       \
        va_start(args, format);             \
        write_line(writer, format, args);   \
        va_end(args);                       \
    }

ORVEL_LOG_WRITER(overror, W_ERROR)
ORVEL_LOG_WRITER(ovlog, W_LOG)
ORVEL_LOG_WRITER(ovdeprec, W_DEPREC)
ORVEL_LOG_WRITER(ovdebug, W_DEBUG)

extern "C" void ovdebugst(const char *format, ...) {
    if (!writer_enabled(W_DEBUGST)) return;
    va_list args;
    va_start(args, format);
    std::string text = dupvsprintf(format, args);
    va_end(args);
    append_line(Orvel_get_logfile_name(LOG_DEBUG),
                "ST:::" + remote_user_hash() + (is_secure_request() != 0 ? 'S' : 'N') + ": " + text);
}
