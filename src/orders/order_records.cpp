#include "orders/order_records.h"

#include "catalog/products.h"
#include "config/config.h"
#include "config/paths.h"
#include "orders/invoices.h"
#include "orders/order_id.h"
#include "orders/record_files.h"
#include "ovml/tokens.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <string_view>
#include <unistd.h>

namespace {

std::string order_format_rendering() { return render_OVML_Invoice(get_template_pathname("order_format.txt")); }

// One order as one database line: each rendered line a field (trailing
// blanks cut, TAB made a blank, a stray CR made "+") followed by a TAB.
std::string tabs_record(std::string_view rendering) {
    std::string record;
    for (std::string_view line : whole_lines(rendering)) {
        std::string field(trimr_ws(line));
        chrsub(field, '\t', ' ');
        chrsub(field, '\r', '+');
        chrsub(field, '\n', '+');
        record += field;
        record += '\t';
    }
    return record + "\n";
}

// An IPT template substituted as one line: line breaks that shopper values
// bring in would split the record, and the next update would take the
// second half for the footer and drop every order after it.
std::string ipt_line(std::string_view config_key) {
    std::string line = ovmlsub(config_string(config_key));
    chrsub(line, '\r', ' ');
    chrsub(line, '\n', ' ');
    return line + "\n";
}

[[noreturn]] void database_failure(const std::string &path) {
    overror("orders database %s not written: %s", path.c_str(), record_error().c_str());
    cgidie("Failed to open orders database (%s) for appending.", quote_html_specials(path).c_str());
}

void append_to_database(const std::string &path, std::string_view addition) {
    FileLock lock(record_lock_path(path));
    if (!lock.held() || !append_record_file(path, addition)) database_failure(path);
}

}  // namespace

std::string get_IPT_date(std::time_t when) {
    std::tm tm{};
    ::localtime_r(&when, &tm);
    return dupsprintf("%2.2d%2.2d%2.2d%2.2d%2.2d%2.2d", tm.tm_year % 100, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                      tm.tm_min, tm.tm_sec);
}

void save_invoice_file() {
    const std::string id(var_string(DICT_SHOPPER, "ORDER_ID"));
    if (!id.empty() && !is_usable_order_id(id)) overror("refused to save order file for unsafe order id \"%s\"", id.c_str());
    if (!is_usable_order_id(id)) cgidie("Cannot save order file without an order-id.");
    const std::string rendering = order_format_rendering();
    const std::string path = Orvel_get_orders_path(id.c_str());
    if (!fn_replace_file(path, rendering)) {
        overror("order file %s not written: %s", path.c_str(), record_error().c_str());
        cgidie("Failed to open order file (%s) for writing.", quote_html_specials(path).c_str());
    }
}

void save_invoice_IPT(const std::string &path) {
    if (!config_defined("DATE_IPT")) set_string(DICT_CONFIG, "DATE_IPT", get_IPT_date(std::time(nullptr)));
    std::string out = ipt_line("IPT_HEADER");

    // Read and rewrite under one lock, so that two orders recorded at the
    // same moment both stay in the file.
    FileLock lock(record_lock_path(path));
    std::string old;
    bool existed = false;
    const bool readable = read_record_file(path, old, existed);
    const char *failure = existed ? "Failed to update IPT-format orders file %s." : "Failed to create new IPT-format orders file %s.";
    if (!lock.held() || !readable) {
        overror("IPT orders file %s cannot be locked or read: %s", path.c_str(), record_error().c_str());
        cgidie(failure, quote_html_specials(path).c_str());
    }

    int h_count = 0, d_count = 0;
    std::vector<std::string_view> lines = whole_lines(old);
    for (std::size_t i = 1; i < lines.size(); ++i) {  // line 0 is the old header
        std::string_view line = lines[i];
        if (line.front() == 'H') ++h_count;
        else if (line.front() == 'D') ++d_count;
        else break;  // the old footer: it and anything after it are dropped
        out += line;
        if (line.back() != '\n') out += '\n';
    }

    set_integer(DICT_CONFIG, "IPT_HCOUNT", ++h_count);
    out += ipt_line("IPT_HTEMPLATE");
    int seq = 0;
    for (var *v = DICT_SELECTED->next; v; v = v->next) {
        var *product = get_product(v->name);
        if (!product) continue;
        ++d_count;
        set_integer(product, "IPT_SEQ", ++seq);
        CurrentProductScope scope;
        current_product(product);
        out += ipt_line("IPT_DTEMPLATE");
    }
    set_integer(DICT_CONFIG, "IPT_DCOUNT", d_count);
    set_integer(DICT_CONFIG, "IPT_TCOUNT", h_count + d_count);
    out += ipt_line("IPT_FOOTER");

    if (!fn_replace_file(path, out)) {
        overror("IPT orders file %s not written: %s", path.c_str(), record_error().c_str());
        cgidie(failure, quote_html_specials(path).c_str());
    }
}

void save_invoice() {
    const std::string orders_dir = Orvel_get_orders_path();
    const std::string layout = fn_exists(orders_dir) == 1 && ::access(orders_dir.c_str(), R_OK) == 0
                                   ? std::string("FILE")
                                   : std::string(config_string("ORDERS_DB_FORMAT"));
    if (strisame(layout, "FILE")) {
        save_invoice_file();
        return;
    }
    const std::string_view db = config_string("ORDERS_DB");
    if (db.empty()) return;
    const std::string path = std::string(config_string("CAT_DIR")) + "/" + std::string(db);
    if (strisame(layout, "IPT")) save_invoice_IPT(path);
    else if (strisame(layout, "TABS")) append_to_database(path, tabs_record(order_format_rendering()));
    else append_to_database(path, order_format_rendering());
}
