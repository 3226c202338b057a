// Plug-ins: shared libraries from the store's "plugins" directory
// (CGI_DIR/plugins), loaded at start-up in directory order and polled by
// entry-point name at the hook points.  Loaded libraries are kept in
// DICT_PLUGINS (path -> handle), whose order is the polling order.
//
// The result codes and poll_plugins are part of the plug-in interface
// (orvel.h); this header adds the start-up and exit calls.
#pragma once

#include <orvel.h>

// Loads every acceptable library: the number loaded, PLUGIN_DISABLED when
// DISABLE_PLUGINS is true, 0 when the directory cannot be listed or holds
// nothing acceptable.  A library that cannot be opened, or whose plugin_init
// answers PLUGIN_REFUSED, is logged and left out; the request goes on.
int init_plugins();
// Polls plugin_shutdown (once per process; nothing when plug-ins are
// disabled).  Called by my_exit.
void shutdown_plugins();
