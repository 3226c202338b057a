// Formatting and dates: printf into exactly sized strings, money amounts,
// strftime without a length limit, and the request's fixed date and time.
#include "strings/strutil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::string dupvsprintf(const char *format, va_list args)
{
    if (!format)
        return {};
    va_list measure;
    va_copy(measure, args);
    int n = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    // n + 1 bytes: the terminator lands on the string's own terminator slot.
    std::vsnprintf(out.data(), out.size() + 1, format, args);
    return out;
}

std::string dupsprintf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = dupvsprintf(format, args);
    va_end(args);
    return out;
}

std::string float_as_dollar_string(double amount)
{
    // Round an exact half up at the third decimal: binary doubles store
    // 2.675 as 2.67499..., which "%.2f" alone would round down.
    std::string three = dupsprintf("%.3f", amount);
    std::size_t dot = three.find('.');
    if (dot != std::string::npos && dot + 3 < three.size() && three[dot + 3] == '5')
        three[dot + 3] = '6';
    return dupsprintf("%.2f", std::strtod(three.c_str(), nullptr));
}

namespace {

std::string format_time(const char *format, std::time_t when, bool gmt)
{
    if (!format || !*format)
        return {};
    std::tm tm{};
    if (gmt ? !gmtime_r(&when, &tm) : !localtime_r(&when, &tm))
        return {};
    // A trailing blank makes every successful result non-empty, so a zero
    // from strftime always means "buffer too small".
    std::string fmt(format);
    fmt += ' ';
    std::string buf(std::max<std::size_t>(64, 2 * fmt.size()), '\0');
    constexpr std::size_t give_up = std::size_t(1) << 26;
    for (;;) {
        std::size_t n = std::strftime(buf.data(), buf.size(), fmt.c_str(), &tm);
        if (n > 0) {
            buf.resize(n - 1);
            return buf;
        }
        if (buf.size() >= give_up)
            return {};
        buf.resize(buf.size() * 2);
    }
}

// The current time as fixed for this request: taken on first use.
std::time_t request_now()
{
    static const std::time_t now = std::time(nullptr);
    return now;
}

} // namespace

std::string my_timesub(const char *format, const std::time_t *when, bool gmt)
{
    return format_time(format, when ? *when : std::time(nullptr), gmt);
}

std::string new_ctime(std::time_t when, bool gmt)
{
    return format_time("%a %b %d %H:%M:%S %Y %Z", when, gmt);
}

std::string new_rfc850_date(std::time_t when)
{
    return format_time("%A, %d-%b-%y %H:%M:%S GMT", when, true);
}

std::string new_rfc1123_date(std::time_t when)
{
    return format_time("%a, %d %b %Y %H:%M:%S GMT", when, true);
}

std::string my_strdate(const std::time_t *when)
{
    if (when)
        return format_time("%Y%m%d", *when, false);
    static const std::string today = format_time("%Y%m%d", request_now(), false);
    return today;
}

std::string my_strtime(const std::time_t *when)
{
    if (when)
        return format_time("%H%M%S", *when, false);
    static const std::string now = format_time("%H%M%S", request_now(), false);
    return now;
}

std::string my_strdatetime(const std::time_t *when)
{
    if (when)
        return format_time("%Y%m%d%H%M%S", *when, false);
    static const std::string now = format_time("%Y%m%d%H%M%S", request_now(), false);
    return now;
}

std::time_t Orvel_datetoseconds(const char *text)
{
    if (!text)
        return std::time(nullptr);
    const std::size_t len = std::strlen(text);
    // Fixed-width decimal field; stops at the end or the first non-digit.
    auto field = [&](std::size_t pos, std::size_t width) {
        int v = 0;
        for (std::size_t i = pos; i < pos + width && i < len; ++i) {
            if (text[i] < '0' || text[i] > '9')
                break;
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    std::tm tm{};
    tm.tm_year = field(0, 4) - 1900;
    tm.tm_mon = field(4, 2) - 1;
    tm.tm_mday = field(6, 2);
    if (len == 14) {
        tm.tm_hour = field(8, 2);
        tm.tm_min = field(10, 2);
        tm.tm_sec = field(12, 2);
    }
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}
