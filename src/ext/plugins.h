// Plug-ins: shared libraries from the store's "plugins" directory, loaded
// at start-up and polled by entry-point name at the hook points.
#pragma once

#include <orvel.h>

enum {
    PLUGIN_HANDLED = -1002,
    PLUGIN_STOP = 1002,
    PLUGIN_FAILED = 1001,
    PLUGIN_NOBODY = -1001,
    PLUGIN_DISABLED = 1004,
    PLUGIN_REFUSED = 1005
};

int init_plugins();
int poll_plugins(const char *entry_name, var *argument);
void shutdown_plugins();
