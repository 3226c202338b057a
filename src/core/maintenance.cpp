// Periodic maintenance: the daily (or hourly) purge of stale shopper files,
// pick-up records and orders, guarded by a stamp file in the users
// directory, followed by the merchant's daily hook and script.
#include "config/config.h"
#include "config/paths.h"
#include "core/actions.h"
#include "core/lifecycle.h"
#include "ext/scripts.h"
#include "orders/pickups.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "session/identify.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

long limit_from(std::string_view key, long absent) {
    long v = config_integer(key, 0);
    if (v <= 0) return absent;
    return v < 1800 ? v * 86400 : v;
}

// A temporary copy older than this was abandoned by a killed process.
constexpr long TEMPORARY_FILE_AGE = 3600;

// Held while the periodic maintenance runs.  A dot file: no purge pattern
// matches it.
constexpr const char *MAINTENANCE_LOCK = ".maintenance.lock";

std::string stamp_name() { return "last" + my_strdate() + ".txt"; }
std::string stamp_path() { return Orvel_get_users_path() + "/" + stamp_name(); }

// Deletes the entries of `dir` older than `limit` seconds that `wanted`
// accepts; -1 when the directory cannot be listed.
template <class Wanted>
int purge_directory(const std::string &dir, long limit, Wanted wanted) {
    text *names = fn_ls(dir);
    if (!names) return -1;
    std::time_t cutoff = std::time(nullptr) - limit;
    int count = 0;
    for (textstring *n = names->first; n; n = n->next) {
        std::string path = dir + "/" + n->string;
        if (is_temporary_name(n->string)) {
            // Abandoned temporary copies go after an hour, whatever `limit`.
            std::time_t t = fn_lastmod(path);
            if (t > 0 && t < std::time(nullptr) - TEMPORARY_FILE_AGE && fn_delete(path) == 0) ++count;
            continue;
        }
        if (!wanted(std::string_view(n->string), path)) continue;
        std::time_t t = fn_lastmod(path);
        if (t > 0 && t < cutoff && fn_delete(path) == 0) ++count;
    }
    free_text(names);
    return count;
}

// Whether the stamp calls for a run: no stamp of today, or (with shopper
// files kept less than a day and hourly purges allowed) a stamp of an
// earlier hour.
bool maintenance_due() {
    FILE *f = std::fopen(stamp_path().c_str(), "r");
    if (!f) return true;
    char line[64] = "";
    bool read = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    if (!read || config_boolean("DISABLE_HOURLY_PURGES")) return false;
    if (strbeg(line, my_strdate() + my_strtime().substr(0, 2))) return false;
    return get_user_reap_threshold() <= 86399;
}

}  // namespace

long get_pending_order_reap_threshold() { return limit_from("PENDING_ORDER_FILE_AGE", 604800); }
long get_order_reap_threshold() { return limit_from("ORDER_FILE_AGE", -1); }

int purge_user_files() {
    std::string dir = Orvel_get_users_path();
    text *names = fn_ls(dir);
    if (!names) cgidie("Failed to open user directory (%s) for maintenance.", quote_html_specials(dir).c_str());
    const std::time_t now = std::time(nullptr);
    const std::time_t cutoff = now - get_user_reap_threshold();
    auto older_than = [](const std::string &path, std::time_t when) {
        std::time_t t = fn_lastmod(path);
        return t > 0 && t < when;
    };
    int count = 0;
    for (textstring *n = names->first; n; n = n->next) {
        std::string_view name(n->string);
        std::string path = dir + "/" + n->string;
        if (is_temporary_name(name)) {
            // A copy being written now is young; one an hour old was left
            // by a process that was killed mid-write.
            if (older_than(path, now - TEMPORARY_FILE_AGE) && fn_delete(path) == 0) ++count;
        } else if (strbeg(name, "last")) {
            if (name != std::string_view(stamp_name())) fn_delete(path);  // yesterday's stamps
        } else if (strbeg(name, "user") && striend(name, ".lock") != npos) {
            // A lock goes with its session and is not counted on its own.
            if (older_than(path, cutoff)) fn_delete(path);
        } else if (strbeg(name, "user") || strbeg(name, "data")) {
            if (older_than(path, cutoff) && fn_delete(path) == 0) ++count;
        }
    }
    free_text(names);
    return count;
}

int purge_pending_orders() {
    return purge_directory(Orvel_get_pending_order_path(), get_pending_order_reap_threshold(),
                           [](std::string_view, const std::string &path) { return striend(path, ".txt") != npos; });
}

int purge_orders() {
    long limit = get_order_reap_threshold();
    if (limit < 0) return -1;
    return purge_directory(Orvel_get_orders_path(), limit,
                           [](std::string_view, const std::string &path) { return striend(path, ".txt") != npos; });
}

int Orvel_stamp_maintenance_file() {
    if (fn_replace_file(stamp_path(), my_strdatetime() + "\n")) return 1;
    // Parallel first requests of the day all stamp: a stamp that another
    // process wrote meanwhile does the job.
    return fn_exists(stamp_path()) == 1 ? 1 : 0;
}

void do_daily_tasks() {
    if (!maintenance_due()) return;
    // Requests that find the maintenance due at the same moment run it
    // once: the one that takes the lock runs it (unless the stamp shows it
    // has just been done), the others go on without waiting.  Without a
    // lock file the maintenance runs anyway and reports what fails.
    bool busy = false;
    FileLock lock = FileLock::try_exclusive(Orvel_get_users_path() + "/" + MAINTENANCE_LOCK, busy);
    if (busy || (lock.held() && !maintenance_due())) return;
    int off = 0;
    set_alarm(&off);
    purge_user_files();
    purge_pickups();
    purge_pending_orders();
    purge_orders();
    // The merchant's own daily work: the "daily" hook, then the script.
    // Neither result stops the maintenance; the stamp is written anyway,
    // so a failing script does not run again on every request.
    Orvel_grab_OVML_hook("daily");
    std::string script(config_string("MY_DAILY"));
    if (!script.empty()) do_api_script(script);
    if (!Orvel_stamp_maintenance_file()) cgidie("Failed to write to user directory for maintenance.");
}
