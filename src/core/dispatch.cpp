// The dispatcher: one action name to exactly one behaviour.
#include "cgi/output.h"
#include "cgi/secure.h"
#include "config/config.h"
#include "config/paths.h"
#include "core/actions.h"
#include "core/lifecycle.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "orders/pickups.h"
#include "platform/files.h"
#include "session/identify.h"
#include "rules/field_rules.h"
#include "session/client_store.h"
#include "session/session.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const char *plural(int n, const char *one, const char *many) { return n == 1 ? one : many; }

void actionSECURE() {
    if (!config_boolean("HTTPS_ENABLED"))
        cgidie("Sorry, but this catalog does not support \"secure\" mode.  The shopkeeper may enable secure mode by "
               "setting the <KBD>HTTPS_ENABLED</KBD> field in their <B><TT>orvel.config</TT></B> file to '1' and "
               "defining the \"secure\" URL.");
    std::string target(config_string("SECURE_ACTION"));
    if (target.empty()) {
        std::string last(var_string(DICT_SHOPPER, "LAST_ACTION"));
        if (last.empty() || last == "SECURE") {
            target = "CHECKOUT";
        } else {
            target = last;
            set_string(DICT_SHOPPER, "ACTION", last);
        }
    }
    set_integer(DICT_SHOPPER, "SERVE_SECURE", 1);
    print_redirection(std::string(var_string(DICT_URL, "ACTION_SECURE")) + "=" + target + "&serve_secure=1");
}

void actionUPDATE() {
    std::string target(var_string(DICT_SHOPPER, "LAST_ACTION"));
    if (target.empty() || strword("UPDATE|REDO|SECURE", target) != npos) target = "CHECKOUT";
    set_string(DICT_SHOPPER, "ACTION", target);
    revalidate_fields(target);
    route_action(target, "");
}

void actionCLEANUP() {
    int off = 0;
    set_alarm(&off);
    xprintf("<HTML>\n\n<HEAD>\n<TITLE>Cleanup</TITLE>\n</HEAD>\n\n<BODY>\n\n\n\n");
    xprintf("<UL>\n");
    int n = purge_user_files();
    xprintf("<LI>Deleted %d stale user %s.</LI>\n", n, plural(n, "file", "files"));
    n = purge_pickups();
    xprintf("<LI>Deleted %d expired or malformed %s from the pickups registry.</LI>\n", n,
            plural(n, "record", "records"));
    n = purge_pending_orders();
    // A directory that cannot be listed is reported as such, never as a
    // negative count.
    if (n < 0) xprintf("<LI>No pending orders directory maintenance performed.</LI>\n");
    else xprintf("<LI>Deleted %d stale pending order %s.</LI>\n", n, plural(n, "file", "files"));
    n = purge_orders();
    if (n < 0) xprintf("<LI>No orders directory maintenance performed.</LI>\n");
    else xprintf("<LI>Deleted %d stale orders %s.</LI>\n", n, plural(n, "file", "files"));
    if (Orvel_stamp_maintenance_file()) xprintf("<LI>Touched maintenance file.</LI>\n");
    else xprintf("<LI>Failed to touch maintenance file.</LI>\n");
    xprintf("</UL>\n");
    xprintf("</BODY></HTML>\n");
}

void command_line_operation(const std::string &action, std::string_view item) {
    // The session is never saved after these: a session file reserved for
    // a new shopper on the way here would only wait for the purge.
    discard_new_client_reservation();
    if (is_cmdline_action()) {
        if (action == "CL_PRODUCTS") cl_dump_products(item);
        else if (action == "CL_RENDERP") cl_render_page(item);
        else if (action == "CL_RENDERT") cl_render_template(item);
        else if (action == "CL_NEWID") {
            allocate_new_client();
            std::printf("CLIENT:%s\n", std::string(var_string(DICT_SHOPPER, "CLIENT")).c_str());
        } else if (action == "CL_IDENTITY") {
            // The authenticated identity of the client given with -client,
            // as cookies and path URLs carry it.
            std::printf("%s\n", Orvel_encapsulate_client_id().c_str());
        }
    }
    // A plain exit: no request log line and no session save.
    release_held_output();
    std::fflush(stdout);
    ::_exit(0);
}

void empty_action() {
    if (maybe_redirect_to_insecure()) return;
    std::string_view path = Orvel_getenv("PATH_INFO");
    if (stribeg(path, "/pickups/")) {
        std::string_view rest = path.substr(9);
        set_string(DICT_SHOPPER, "ITEM", rest.substr(0, rest.find('/')));
        actionPICKUP(true);
    } else if (config_boolean("SERVE_PATH_INFO") && Orvel_is_servable_path_info(path)) {
        set_string(DICT_SHOPPER, "ACTION", "SERVE");
        set_string(DICT_SHOPPER, "ITEM", path.substr(path.front() == '/' ? 1 : 0));
        actionSERVE();
    } else if (config_string("DEFAULT_ACTION") == "RETURN") {
        actionRETURN();
    } else {
        actionHOME();
    }
}

}  // namespace

int is_cmdline_action() {
    if (var_integer(DICT_ORVEL, "ORVEL_ARGC", 0) < 3 || config_boolean("CMDLINE_FALSE")) return 0;
    for (std::string_view name : split_list(config_string("CMDLINE_BADENV"), ';'))
        if (!name.empty() && *Orvel_getenv(std::string(name).c_str())) return 0;
    // A web server turns a query string without "=" into program
    // arguments: such a request is never a command-line invocation.
    std::string_view query = Orvel_getenv("QUERY_STRING");
    if (*Orvel_getenv("REQUEST_METHOD") && !query.empty() && query.find('=') == npos) return 0;
    return 1;
}

int maybe_disallow_cmdline_action(std::string_view action) {
    if (action.empty() || is_cmdline_action()) return 0;
    return striword(config_string("CMDLINE_ACTIONS"), action) != npos ? 1 : 0;
}

int maybe_perform_custom_action(std::string_view action) {
    if (action.empty()) return 0;
    std::string path = get_template_pathname(lower("actions/" + std::string(action) + ".html"));
    if (fn_exists(path) != 1) return 0;
    print_OVML_File(path);
    return 1;
}

int route_action(std::string_view action_view, std::string_view item) {
    const std::string action(action_view);
    if (action.empty()) {
        empty_action();
        return 0;
    }
    if (strbeg(action, "CL_")) command_line_operation(action, item);
    if (maybe_disallow_cmdline_action(action))
        cgidie("The action specified is not permitted via traditional CGI input methods.");
    if (maybe_perform_custom_action(action)) return 0;

    // The item of these three comes from the link that was followed: it is
    // shown as text, never as markup, so no link can put script into the
    // store's pages.
    if (action == "ERROR") {
        set_string(DICT_ORVEL, "MESSAGE", quote_html_specials(item));
        print_OVML_File(get_template_pathname("error"));
    } else if (action == "MESSAGE" || action == "NOTE") {
        cgimsg("%s", quote_html_specials(item).c_str());
    } else if (action == "RETURN_FRAMES" || (action == "RETURN" && strisame(item, "FRAMES"))) {
        if (!maybe_redirect_to_insecure()) actionFRAMES();
    } else if (action == "BACK") {
        actionBACK();
    } else if (action == "RETURN") {
        if (config_boolean("RETURN_BACK")) actionBACK();
        else actionRETURN();
    } else if (action == "HOME") {
        if (!maybe_redirect_to_insecure()) actionHOME();
    } else if (action == "SOURCE") {
        actionSOURCE();
    } else if (action == "PICKUP") {
        actionPICKUP(false);
    } else if (action == "SERVE") {
        if (!maybe_redirect_to_insecure()) actionSERVE();
    } else if (action == "DETAIL") {
        if (!maybe_redirect_to_insecure()) actionDETAIL();
    } else if (stribeg(action, "SEARCH")) {
        if (!maybe_redirect_to_insecure()) {
            if (action.size() > 7) set_string(DICT_SHOPPER, "ITEM", action.substr(7));
            actionSEARCH();
            set_string(DICT_SHOPPER, "LAST_STATIC_REFERER", "");
            history_add("search&item=again");
        }
    } else if (action == "REDO") {
        ovdeprec("deprecated: action=REDO; use specific action instead.");
        actionCHECKOUT(false);
    } else if (stribeg(action, "ADD_QUIET")) {
        set_integer(DICT_CONFIG, "QUIET_ADD", 1);
        actionADD();
    } else if (action == "ADD") {
        if (stribeg(item, "QUIET")) {
            set_integer(DICT_CONFIG, "QUIET_ADD", 1);
            std::size_t underscore = item.find('_');
            if (underscore == npos) set_none(DICT_SHOPPER, "ITEM");
            else set_string(DICT_SHOPPER, "ITEM", item.substr(underscore + 1));
        }
        actionADD();
    } else if (action == "SECURE") {
        actionSECURE();
    } else if (action == "UPDATE") {
        actionUPDATE();
    } else if (action == "CLEAR" || action == "EMPTY") {
        nuke_selected();
        speak_custom_message("CART_EMPTIED", "message", "Your cart has been emptied.", true);
    } else if (action == "VIEW") {
        actionVIEW();
    } else if (action == "LOGIN") {
        actionLOGIN();
    } else if (action == "LOGOUT") {
        actionLOGOUT();
    } else if (action == "BIRTH") {
        actionBIRTH();
    } else if (action == "CHPASS") {
        actionCHPASS();
    } else if (action == "CHECKOUT") {
        if (!maybe_redirect_to_secure()) actionCHECKOUT();
    } else if (action == "CONFIRM") {
        if (!maybe_redirect_to_secure()) actionCONFIRM();
    } else if (strbeg(action, "FINISH")) {
        std::string_view allowed = config_string("RESTRICT_COMPLETION");
        if (!allowed.empty() && striword(allowed, action) == npos)
            cgidie("You have used an invalid method to finish your order.  Please return to the checkout screen and "
                   "try again.");
        if (action == "FINISH_CYBERCASH") actionFINISH_CYBERCASH();
        else actionFINISH();
    } else if (action == "CLEANUP") {
        actionCLEANUP();
    } else if (action == "VERSION") {
        show_version(true);
    } else if (action == "FORGETME") {
        forget_client();
        speak_custom_message("CLIENT_FORGOTTEN", "message", "You have been forgotten.", true);
        my_exit(0);
    } else if (strisame(action, "DEBUG2")) {
        actionDEBUG();
    } else if (strisame(action, "TEST")) {
        actionTEST();
    } else {
        cgidie("Orvel doesn't recognize \"%s\" as a valid action.  There is probably an error in the catalog's HTML.",
               quote_html_specials(action).c_str());
    }
    return 0;
}
