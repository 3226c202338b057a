// Actions that arrive with later parts of the store.  Each answers with a
// clear error page until its part is built, so a request that names one
// still ends in a well-formed response.
#include "core/actions.h"
#include "platform/errors.h"

#include <string>

namespace {

[[noreturn]] void not_available(const char *action) {
    cgidie("The %s action is not available in this store yet.", action);
}

}  // namespace

void actionLOGIN() { not_available("LOGIN"); }
void actionLOGOUT() { not_available("LOGOUT"); }
void actionBIRTH() { not_available("BIRTH"); }
void actionCHPASS() { not_available("CHPASS"); }

// Merchant hooks and scripts arrive with the extension interface.
void do_custom_welcome() {}
void Orvel_grab_OVML_hook(std::string_view) {}
void maybe_do_custom_cart_filter() {}
// The seam for the finished order's extensions: nothing is told yet, and
// FINISH goes on as when no plug-in handled the order (0).
int do_custom_finish() { return 0; }
