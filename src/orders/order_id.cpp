#include "orders/order_id.h"

#include "config/config.h"
#include "config/paths.h"
#include "orders/invoices.h"
#include "orders/record_files.h"
#include "ovml/tokens.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "session/client_store.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr std::string_view DEFAULT_ORDER_ID_FORMAT = "%OVH_DATE-%OVE_CLIENT";
// Leaves room for ".txt" and the temporary suffix of an atomic replace
// within the usual 255-byte file-name limit.
constexpr std::size_t ORDER_ID_MAX = 200;

std::string expand_order_id(std::string_view format) {
    std::string id = ovmlsub(format);
    return chrsub(id, ' ', '0');
}

// The first number in the sequence file's text; 0 when there is none.
long long leading_number(const std::string &contents) {
    const char *start = contents.c_str();
    char *end = nullptr;
    errno = 0;
    long long n = std::strtoll(start, &end, 10);
    if (end == start || errno == ERANGE || n < 0) return 0;
    return n;
}

}  // namespace

bool is_usable_order_id(std::string_view id) {
    return id.size() <= ORDER_ID_MAX && is_safe_filename_component(id);
}

int increment_order_id() {
    const std::string path = Orvel_get_users_path("orderseq");
    // One lock across read and write: two orders finishing together can
    // never both read the same number.
    FileLock lock(record_lock_path(path));
    if (!lock.held()) {
        overror("order sequence %s cannot be locked: %s", path.c_str(), record_error().c_str());
        cgidie("Failed to write sequential order number to disk.");
    }
    std::string contents;
    const long long stored = fn_read_file(path, contents) ? leading_number(contents) : 0;

    long long base;
    if (config_string("MIN_ORDER_SEQ").empty()) {
        base = stored;
    } else {
        const long long min = config_integer("MIN_ORDER_SEQ", 0);
        base = min < stored ? stored : min;
    }
    if (base >= INT_MAX) {
        overror("order sequence exhausted at %lld in %s", base, path.c_str());
        cgidie("Failed to write sequential order number to disk.");
    }
    const int next = static_cast<int>(base) + 1;
    // Replaced, never truncated in place: a request killed at any moment
    // leaves either the old number or the new one.
    if (!fn_replace_file(path, std::to_string(next) + "\n")) {
        overror("failed to write %s: %s", path.c_str(), record_error().c_str());
        cgidie("Failed to write sequential order number to disk.");
    }
    set_integer(DICT_ORVEL, "ORDER_SEQ", next);
    return next;
}

void maybe_set_order_id() {
    if (!var_string(DICT_SHOPPER, "ORDER_ID").empty() || !get_client_id()) return;
    increment_order_id();
    std::string_view format = config_string("ORDER_ID_FORMAT");
    std::string id = expand_order_id(format.empty() ? DEFAULT_ORDER_ID_FORMAT : format);
    if (!is_usable_order_id(id)) {
        // The id names the order's files: a format that expands to a path,
        // an empty text or an over-long name must not reach the file system.
        overror("order id format gave an unusable id \"%s\"; using the default format", id.c_str());
        id = expand_order_id(DEFAULT_ORDER_ID_FORMAT);
        if (!is_usable_order_id(id)) {
            overror("default order id format gave an unusable id \"%s\"", id.c_str());
            return;
        }
    }
    set_string(DICT_SHOPPER, "ORDER_ID", id);
}

std::string get_order_id() {
    maybe_set_order_id();
    return std::string(var_string(DICT_SHOPPER, "ORDER_ID"));
}

void save_pending_order() {
    const std::string id(var_string(DICT_SHOPPER, "ORDER_ID"));
    if (id.empty()) return;
    if (!is_usable_order_id(id)) {
        overror("refused to save pending order for unsafe order id \"%s\"", id.c_str());
        return;
    }
    std::string template_path = get_template_pathname("pending_order.txt");
    if (fn_exists(template_path) != 1 || ::access(template_path.c_str(), R_OK) != 0)
        template_path = get_template_pathname("order_format.txt");
    const std::string rendered = render_OVML_Invoice(template_path);

    const std::string dir = Orvel_get_pending_order_path();
    // No pending directory means the merchant keeps no pending orders.
    if (fn_exists(dir) != 1) return;
    const std::string path = Orvel_get_pending_order_path(id.c_str());
    if (!fn_replace_file(path, rendered))
        overror("failed to write pending order %s: %s", path.c_str(), record_error().c_str());
}
