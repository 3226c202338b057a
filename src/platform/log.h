// The opt-in logs: error, debug, deprecation and the common request log.
// Each writer logs only when its file already exists at the writer's first
// use in the process, so a merchant switches a log on by creating the file.
#pragma once

#include <orvel.h>

#include <cstdarg>
#include <string>

enum { LOG_ERROR = 1, LOG_DEBUG = 2, LOG_DEPREC = 3, LOG_COMMON = 4 };

std::string Orvel_get_logfile_name(int kind);
// Appends one line "%u.%s: %s\n" (pid, request date-time, message).
bool logvprintf(const std::string &path, const char *format, va_list args);

extern "C" void ovdebugst(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Forgets the cached enabled states (tests start each case afresh).
void reset_log_state();
