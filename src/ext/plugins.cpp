// Plug-in loading arrives with the extension interface; until then no
// library is loaded and every poll reports that nobody answered.
#include "ext/plugins.h"

int init_plugins() { return 0; }
int poll_plugins(const char *, var *) { return PLUGIN_NOBODY; }
void shutdown_plugins() {}
