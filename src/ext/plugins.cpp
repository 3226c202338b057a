// Loading and polling plug-ins.
#include "ext/plugins.h"

#include "config/config.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <dlfcn.h>
#include <string>

namespace {

bool plugins_disabled() { return DICT_CONFIG && config_boolean("DISABLE_PLUGINS"); }

std::string plugin_directory() { return std::string(config_string("CGI_DIR")) + "/plugins"; }

// True when the entry's extension (after its last '.') occurs in the ';'
// list of accepted extensions as a whole word, ignoring case.
bool acceptable_extension(std::string_view entry, std::string_view accepted)
{
    const std::size_t dot = strsuff(entry);
    if (dot == npos || dot >= entry.size()) return false;
    return striword(accepted, entry.substr(dot)) != npos;
}

// POSIX guarantees that a function's address survives dlsym's object
// pointer.
Orvel_plugin_entry find_entry(void *handle, const char *name)
{
    return reinterpret_cast<Orvel_plugin_entry>(::dlsym(handle, name));
}

}  // namespace

extern "C" text *Orvel_fetch_plugin_pathnames(void)
{
    const std::string dir = plugin_directory();
    text *entries = fn_ls(dir);
    if (!entries) return nullptr;
    std::string accepted(config_string("PLUGIN_EXTENSIONS"));
    if (accepted.empty()) accepted = "la;dll;so";
    text *paths = new_text(nullptr);
    for (const textstring *e = entries->first; e; e = e->next)
        if (e->string && acceptable_extension(e->string, accepted))
            text_addstring(paths, dup_cstring(dir + "/" + e->string));
    free_text(entries);
    return paths;
}

int init_plugins()
{
    if (plugins_disabled()) return PLUGIN_DISABLED;
    text *paths = Orvel_fetch_plugin_pathnames();
    if (!paths) return 0;
    int loaded = 0;
    for (const textstring *p = paths->first; p; p = p->next) {
        const char *path = p->string;
        if (!path) continue;
        void *handle = ::dlopen(path, RTLD_LAZY);
        if (!handle) {
            const char *why = ::dlerror();
            overror("plugin open failed for %s: %s", path, why ? why : "unknown error");
            continue;
        }
        if (Orvel_plugin_entry init = find_entry(handle, "plugin_init"); init && init(nullptr) == PLUGIN_REFUSED) {
            overror("plugin init failed for %s", path);
            ::dlclose(handle);
            continue;
        }
        set_var(DICT_PLUGINS, path, TYPE_VOID, handle);
        ++loaded;
    }
    free_text(paths);
    return loaded;
}

extern "C" int poll_plugins(const char *entry_name, var *argument)
{
    if (plugins_disabled()) return PLUGIN_DISABLED;
    if (!DICT_PLUGINS || !entry_name) return PLUGIN_NOBODY;
    int result = PLUGIN_NOBODY;
    for (var *plugin = DICT_PLUGINS->next; plugin; plugin = plugin->next) {
        void *handle = plugin->value ? value_as_void(plugin->value) : nullptr;
        if (!handle) continue;
        Orvel_plugin_entry entry = find_entry(handle, entry_name);
        if (!entry) continue;
        result = entry(argument);
        if (result == PLUGIN_FAILED) {
            ovdebug("%s::%s => PLUGIN_FAILED, continuing", plugin->name, entry_name);
            continue;
        }
        if (result == PLUGIN_STOP || result == PLUGIN_HANDLED) return result;
    }
    return result;
}

void shutdown_plugins()
{
    // A plug-in that ends the process from plugin_shutdown must not start
    // the shutdown round again.
    static bool done = false;
    if (done) return;
    done = true;
    if (plugins_disabled()) return;
    poll_plugins("plugin_shutdown", nullptr);
}
