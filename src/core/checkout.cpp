// The three steps of buying: CHECKOUT shows the order form, CONFIRM checks
// the order, gives it its id, shows the payment page and keeps a pending
// copy, FINISH records the order, answers with the receipt, mails the
// invoices and retires the session.  Around them: the order-value limits,
// the per-product quantity limits and the refusal of blocked mail domains.
#include "core/actions.h"

#include "catalog/products.h"
#include "catalog/selection.h"
#include "cgi/output.h"
#include "config/config.h"
#include "config/paths.h"
#include "ext/scripts.h"
#include "orders/invoices.h"
#include "orders/order_id.h"
#include "orders/order_records.h"
#include "orders/pickups.h"
#include "orders/record_files.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "rules/coupons.h"
#include "rules/field_rules.h"
#include "rules/totals.h"
#include "session/client_store.h"
#include "session/session.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

long cents(double amount) { return std::lround(amount * 100.0); }

// Checkout pages open in the checkout window; a target that leaves the
// frames behind ends frame mode for the shopper.
void checkout_window() {
    if (window_target("OV_CHECKOUT").find(" _top") != npos) set_integer(DICT_SHOPPER, "FRAMES", 0);
}

// Prices the cart as it stands now.  A total worked out earlier in the
// request (a hook, a field rule or a page that read a total before the
// cart changed) is dropped first, so the order is priced as it is placed.
void price_cart() {
    fill_products(DICT_SELECTED);
    forget_order_total();
    tally_order();
}

// The opening shared by CHECKOUT, CONFIRM and FINISH: false after the
// "empty" page for an empty cart; ends the request when the order is
// outside the store's order-value limits.
bool open_checkout() {
    checkout_window();
    if (maybe_show_empty_cart()) return false;
    price_cart();
    maybe_show_cheap_cart();
    return true;
}

std::string joined(const std::vector<std::string> &items) {
    std::string out;
    for (const std::string &item : items) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

// With LOCKED_FINISH the order is what the confirmation page carried in
// its FINAL_PRODUCT_<code> fields, whatever the session's cart holds now.
// A session without a cart is left empty: its order was finished already
// (a second click on the finish button) or the session is gone, and the
// hidden fields must not place the order a second time.
void take_cart_from_confirmation_page() {
    if (var_length(DICT_SELECTED) == 0) return;
    nuke_selected();
    for (var *v = DICT_INPUT->next; v; v = v->next) {
        if (!v->name || !strbeg(v->name, "FINAL_PRODUCT_")) continue;
        const std::string_view code = std::string_view(v->name).substr(14);
        const std::string_view given = value_view(v->value);
        const long long quantity = std::strtoll(std::string(given).c_str(), nullptr, 10);
        set_selected_quantity(code, clamp_quantity(quantity));
    }
    // Lines of 0 or less are not part of the order.
    weed_selected();
}

}  // namespace

int maybe_show_cheap_cart() {
    const double subtotal = var_float(DICT_TOTALS, "SUBTOTAL", 0.0);
    const double minimum = var_float(DICT_CONFIG, "MINIMUM_ORDER", 0.0);
    const double maximum = var_float(DICT_CONFIG, "MAXIMUM_ORDER", 0.0);
    // Compared in cents, so that a subtotal equal to a limit passes.
    if (minimum != 0.0 && cents(subtotal) < cents(minimum))
        croak_custom_message("MINORDER", "error", "Sorry, but we require a minimum order of $%OVM_MINIMUM_ORDER.", true);
    if (maximum != 0.0 && cents(subtotal) > cents(maximum))
        croak_custom_message("MAXORDER", "error",
                             "Sorry, but we don't allow online orders over $%OVM_MAXIMUM_ORDER.  Please remove some "
                             "items from your cart, or call us at %OVM_STORE_PHONE to complete your order.",
                             true);
    return 0;
}

int enforce_minmax_quantities() {
    fill_products(DICT_SELECTED);
    std::vector<std::string> raised, lowered;
    for (var *v = DICT_SELECTED->next; v; v = v->next) {
        var *product = v->name ? get_product(v->name) : nullptr;
        if (!product) continue;
        const int quantity = value_as_integer(v->value, 0);
        const int minimum = var_integer(product, "MINQ", -1);
        const int maximum = var_integer(product, "MAXQ", -1);
        if (quantity >= minimum && (maximum < 0 || quantity <= maximum)) continue;
        const std::string code(v->name);
        {
            CurrentProductScope scope;
            current_product(product);
            if (quantity < minimum)
                raised.push_back(cook_custom_message("MINQ_ELEMENT", "%OVI_NAME (min. %OVI_MINQ)", true));
            else
                lowered.push_back(cook_custom_message("MAXQ_ELEMENT", "%OVI_NAME (max. %OVI_MAXQ)", true));
        }
        set_selected_quantity(code, quantity < minimum ? minimum : maximum);
    }
    if (!raised.empty()) {
        speak_custom_message("MINQ_MESSAGE", "error",
                             "A minimum quantity (indicated in parentheses) is required for the following items: %f.  "
                             "Quantities for those items have been increased to meet the required minimum.",
                             false, {{"%f", joined(raised)}});
        return 1;
    }
    if (!lowered.empty()) {
        speak_custom_message("MAXQ_MESSAGE", "error",
                             "You may order no more than the parenthetical quantity for the following items: %f.  "
                             "Quantities for those items have been decreased to fall within the allowed range.",
                             false, {{"%f", joined(lowered)}});
        return 1;
    }
    return 0;
}

int maybe_enforce_minmax_quantities(std::string_view action) {
    if (action.empty() || striword(config_string("MINMAX_ACTIONS"), action) == npos) return 0;
    return enforce_minmax_quantities();
}

int maybe_refuse_bogus_email_domain() {
    const std::string_view email = var_string(DICT_SHOPPER, "BILL_EMAIL");
    const std::size_t at = email.find('@');
    if (at == npos) return 0;
    const std::string_view domain_part = email.substr(at + 1);
    for (std::string_view listed : split_list(config_string("BOGUS_EMAIL_DOMAINS"), ';')) {
        listed = trim_ws(listed);
        // An empty entry would end every address.
        if (listed.empty() || striend(domain_part, listed) == npos) continue;
        cgidie("%s", cook_custom_message("BOGUS_EMAIL_DOMAIN",
                                         "Due to the number of fraudulent orders from %d, we no longer accept orders "
                                         "from that domain.  Please call us at %OVM_STORE_PHONE to complete your "
                                         "order.",
                                         true, {{"%d", quote_html_specials(listed)}})
                         .c_str());
    }
    return 0;
}

void actionCHECKOUT(bool) {
    if (!open_checkout()) return;
    print_OVML_File(get_template_pathname("checkout"));
}

void actionCONFIRM() {
    if (!open_checkout()) return;
    if (enforce_minmax_quantities()) return;
    Orvel_grab_OVML_hook("confirm");
    if (const std::string script(config_string("MY_CONFIRM")); !script.empty()) do_api_script(script);
    // The hook or the script may have changed the cart.
    price_cart();
    maybe_refuse_bogus_email_domain();
    maybe_set_order_id();
    const std::string method(var_string(DICT_SHOPPER, "PAYMENT_METHOD"));
    // The method names a template file: one that cannot is no method.
    if (method.empty() || !is_safe_filename_component(method))
        cgidie("You did not specify a payment method.  Please go back and choose one.");
    print_OVML_File(get_template_pathname("payment/" + method + ".html"));
    save_pending_order();
}

void finish_order() {
    set_integer(DICT_CONFIG, "HTTP_EXPIRES", config_integer("HTTP_RECEIPT_EXPIRES", 300));
    checkout_window();
    if (config_boolean("LOCKED_FINISH")) take_cart_from_confirmation_page();
    revalidate_fields("CONFIRM");
    if (maybe_show_empty_cart()) return;
    price_cart();
    maybe_show_cheap_cart();
    if (enforce_minmax_quantities()) return;

    maybe_set_order_id();
    do_custom_finish();
    // The plug-ins, the "finish" hook and the scripts may have changed the
    // cart: the order recorded and mailed is the cart as it now stands.
    price_cart();
    initialize_pickups();
    // Ends the request, before any receipt, when the order cannot be
    // recorded.
    save_invoice();
    maybe_burn_cookie();
    print_OVML_File(get_template_pathname("receipt"));
    redeem_coupons();
    maybe_delete_client();
    mail_order_invoices();
    my_exit(0);
}

void actionFINISH() { finish_order(); }

void actionFINISH_CYBERCASH() {
    // Only the payment processor, running the program itself, completes
    // such an order; a browser is shown the checkout page.
    if (is_cmdline_action()) finish_order();
    else actionCHECKOUT();
}

void actionMAILTO() {
    const std::string template_name(var_string(DICT_ARGS, "FILE_TEMPLATE"));
    const std::string filename(var_string(DICT_ARGS, "FILE_FILENAME"));
    const std::string rendering = render_OVML_Invoice(template_name);
    FileLock lock(record_lock_path(filename));
    if (filename.empty() || !lock.held() || !append_record_file(filename, rendering))
        cgidie("Failed to open order file (%s) for appending.", quote_html_specials(filename).c_str());
    fn_protect(filename);
}
