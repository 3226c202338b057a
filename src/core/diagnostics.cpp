// Diagnostics for the merchant: the configuration check (DEBUG and DEBUG2)
// and the ready-made test checkout (TEST).
#include "cgi/output.h"
#include "config/config.h"
#include "core/actions.h"
#include "platform/errors.h"

#include <cstdio>

// The configuration check answers in plain text: an empty page when the
// configuration is valid, else the first validation message.  It shows no
// configuration values, so it is safe for any caller to ask (start-up runs
// DEBUG before the configuration, and with it CMDLINE_ACTIONS, is read).
void actionDEBUG() {
    std::fputs("Content-type: text/plain\n\n\n", stdout);
    // A validation failure prints its error page as the body of this one.
    header_block_written_directly();
    fill_config();
    validate_config();
    my_exit(0);
}
