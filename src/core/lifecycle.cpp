#include "core/lifecycle.h"

#include "cgi/output.h"
#include "cgi/query.h"
#include "cgi/secure.h"
#include "config/config.h"
#include "config/paths.h"
#include "core/actions.h"
#include "ext/plugins.h"
#include "ovml/render.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "rules/field_rules.h"
#include "session/client_store.h"
#include "session/session.h"
#include "strings/random.h"
#include "strings/strutil.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/utsname.h>
#include <unistd.h>

extern "C" {
var *DICT_CONFIG, *DICT_SHOPPER, *DICT_TOTALS, *DICT_URL, *DICT_ARGS, *DICT_PRODUCTS, *DICT_SELECTED,
    *DICT_NOTES, *DICT_FIELDS, *DICT_MATCHES, *DICT_NAMES, *DICT_PICKUPS, *DICT_MIMETYPES, *DICT_OPTIONS,
    *DICT_MESSAGES, *DICT_CURRENCY, *DICT_INPUT, *DICT_COOKIES, *DICT_TWEAKS, *DICT_ORVEL, *DICT_VARIABLES,
    *DICT_MIVS, *DICT_LOOPNAMES, *DICT_PLUGINS, *DICT_SHOPPER_PR, *DICT_SELECTED_PR, *DICT_CURRENT_ORDER;

const char *orvel_version = "4.042";
const char *bytemark = nullptr;
}

namespace {

constexpr const char *BUILD_PLATFORM = "i586-pc-linux-gnulibc2.2";
constexpr const char *PUBLISHER_NOTICE = "Copyright the Orvel developers";
constexpr const char *PRODUCT_HOME = "https://orvel.example.org/";
constexpr const char *CRASH_REPORT_URL = "https://orvel.example.org/crash-report";
// How long the signal handler may take before a second signal ends it.
constexpr unsigned TRAP_BACKSTOP_SECONDS = 5;

volatile sig_atomic_t trap_entered = 0;

struct DictRoot {
    var **root;
    const char *label;
};

const DictRoot dictionary_roots[] = {
    {&DICT_CONFIG, "[CONFIG]"},       {&DICT_SHOPPER, "[QUERY]"},      {&DICT_TOTALS, "[TOTALS]"},
    {&DICT_URL, "[URL]"},             {&DICT_ARGS, "[ARGS]"},          {&DICT_PRODUCTS, "[PRODUCTS]"},
    {&DICT_SELECTED, "[SELECTED]"},   {&DICT_NOTES, "[NOTES]"},        {&DICT_FIELDS, "[FIELDS]"},
    {&DICT_MATCHES, "[MATCHES]"},     {&DICT_NAMES, "[NAMES]"},        {&DICT_PICKUPS, "[PICKUPS]"},
    {&DICT_MIMETYPES, "[MIMETYPES]"}, {&DICT_OPTIONS, "[OPTIONS]"},    {&DICT_MESSAGES, "[MESSAGES]"},
    {&DICT_CURRENCY, "[CURRENCY]"},   {&DICT_INPUT, "[INPUT]"},        {&DICT_COOKIES, "[COOKIES]"},
    {&DICT_TWEAKS, "[TWEAKS]"},       {&DICT_ORVEL, "[ORVEL]"},        {&DICT_VARIABLES, "[VARIABLES]"},
    {&DICT_MIVS, "[MIVS]"},           {&DICT_LOOPNAMES, "[LOOPNAMES]"}, {&DICT_PLUGINS, "[PLUGINS]"},
};

void print_crash_page(int sig) {
    const char *mark = bytemark ? bytemark : "";
    std::fputs("Content-type: text/html\n\n", stdout);
    std::fputs("<html>\n\n<head>\n<title>Orvel Error</title>\n</head>\n\n<body bgcolor=#ffffff>\n"
               "<h1>Orvel Error</h1>\n\n",
               stdout);
    std::printf("<blockquote><p><em>Orvel has encountered an error {#%d, \"%s\"},which prevents the completion "
                "of your request. This could be an error in the Orvel program, or a merchant misconfiguration.  "
                "If the error persists, please contact the webmaster of this site.</em></p></blockquote>\n",
                sig, mark);
    std::printf("\n<hr>\n<img src=\"%s?signal=%d&version=%s&bytemark=%s\"><address><a href=\"%s\">%s</a>"
                "</address>\n",
                CRASH_REPORT_URL, sig, orvel_version, mark, PRODUCT_HOME, PRODUCT_HOME);
    std::fputs("\n</body></html>\n", stdout);
}

// Command-line arguments: "-NAME value" sets a shopper variable, a final
// "-NAME" sets it to 1, "-note text" adds a note, -v/-version/-c print the
// version.
void read_arguments(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') continue;
        std::string name = upper(argv[i] + 1);
        if (name == "V" || name == "VERSION" || name == "C") show_version(false);
        if (i + 1 < argc) {
            if (name == "NOTE") add_unnamed_string(DICT_NOTES, argv[i + 1]);
            else set_string(DICT_SHOPPER, name, argv[i + 1]);
            ++i;
        } else {
            set_integer(DICT_SHOPPER, name, 1);
        }
    }
}

// Returns the request's security: 1 secure, 0 plain, -1 unknown.
int record_invocation(int argc, char **argv) {
    set_integer(DICT_ORVEL, "ORVEL_ARGC", argc);
    if (argc >= 1) {
        std::string argv0(argv[0]);
        set_string(DICT_ORVEL, "ORVEL_ARGV0", chrsub(argv0, '\\', '/'));
    }
    set_string(DICT_ORVEL, "ORVEL_VERSION", orvel_version);
    set_string(DICT_ORVEL, "ORVEL_VERSION_NAME", "");
    set_integer(DICT_ORVEL, "RANDOM", my_random(0));
    int https = is_secure_request();
    if (https < 0) set_none(DICT_ORVEL, "HTTPS");
    else set_integer(DICT_ORVEL, "HTTPS", https);
    return https;
}

void update_last_action(const std::string &action) {
    std::string_view last = var_string(DICT_SHOPPER, "LAST_ACTION");
    if (last == action) set_string(DICT_SHOPPER, "LAST_ACTION", "");
    else if (std::string_view("VIEW|CHECKOUT|CONFIRM").find(action) != std::string_view::npos)
        set_string(DICT_SHOPPER, "LAST_ACTION", action);
}

}  // namespace

extern "C" void Orvel_initialize(void) {
    for (const DictRoot &d : dictionary_roots) *d.root = new_dict(d.label);
    DICT_SHOPPER_PR = DICT_SELECTED_PR = DICT_CURRENT_ORDER = nullptr;
    register_standard_OVML_functions();
    register_search_OVML_functions();
}

extern "C" void Orvel_deinitialize(void) {
    for (const DictRoot &d : dictionary_roots) *d.root = *d.root ? nuke_var(*d.root) : nullptr;
    for (var **root : {&DICT_SHOPPER_PR, &DICT_SELECTED_PR, &DICT_CURRENT_ORDER})
        *root = *root ? nuke_var(*root) : nullptr;
}

void trap_signal(int sig) {
    if (trap_entered) ::_exit(sig + 1);
    trap_entered = 1;
    // A handler stuck in its own output still ends: the backstop alarm
    // arrives as a second signal.
    ::alarm(TRAP_BACKSTOP_SECONDS);
    // A page cut short by the signal is not sent: the error page replaces it.
    discard_held_output();
    if (sig == SIGALRM)
        cgidie("Orvel could not complete your request in her allotted process time of %d seconds.  Please try "
               "again, or contact the webmaster of this site if the problem persists.",
               get_timeout_seconds());
    print_crash_page(sig);
    my_exit(sig + 1);
}

void set_traps() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = trap_signal;
    sigemptyset(&action.sa_mask);
    // A signal arriving while the handler runs must reach it again, so
    // that the second one ends the process.
    action.sa_flags = SA_NODEFER;
    for (int sig : {SIGILL, SIGQUIT, SIGSEGV, SIGBUS, SIGINT, SIGTERM, SIGALRM}) ::sigaction(sig, &action, nullptr);
}

int get_timeout_seconds() {
    int seconds = config_integer("ORVEL_TIMEOUT", -1);
    if (seconds == -1) return 60;
    if (seconds <= 9) return 10;
    if (seconds > 3600) return 3600;
    return seconds;
}

void set_alarm(const int *seconds) {
    ::alarm(static_cast<unsigned>(seconds ? *seconds : get_timeout_seconds()));
}

void show_version(bool header) {
    if (header) std::fputs("Content-type: text/plain\n\n", stdout);
    std::printf("Orvel %s%s\n", orvel_version, " flock");
    std::printf("\tBuilt %s %s on %s\n", build_date, build_time, BUILD_PLATFORM);
    std::printf("\t%s <%s>\n", PUBLISHER_NOTICE, PRODUCT_HOME);
    my_exit(0);
}

const std::string &my_uname() {
    static const std::string text = [] {
        struct utsname u;
        if (::uname(&u) != 0) return std::string("unknown");
        return dupsprintf("%s\t %s\t %s\t %s\t %s", u.sysname, u.nodename, u.release, u.version, u.machine);
    }();
    return text;
}

int orvel_main(int argc, char **argv) {
    // The response goes out when the request ends, after the session is
    // saved: a save that fails is answered with its error page alone.
    begin_held_output();
    Orvel_initialize();
    set_traps();
    set_alarm(nullptr);
    my_srandom(-1);
    int https = record_invocation(argc, argv);
    if (argc >= 2) read_arguments(argc, argv);
    if (!var_defined(DICT_SHOPPER, "CMDLINE")) fill_query();
    if (strisame(var_string(DICT_SHOPPER, "ACTION"), "DEBUG")) actionDEBUG();

    if (std::optional<std::string> message = fill_config()) cgidie("%s", message->c_str());
    validate_config();
    enforce_input_limits();
    apply_blank_quantities();
    scrub_query();
    fast_fgets = config_integer("FAST_FGETS", 0);
    flock_sleep_seconds = config_integer("FLOCK_SLEEP_SECONDS", 0);
    flock_max_tries = config_integer("FLOCK_MAX_TRIES", 10);
    init_plugins();
    set_alarm(nullptr);
    if (config_boolean("CLOSED"))
        croak_custom_message("CLOSED", "message",
                             "Sorry, but our store is currently closed.  Contact us at <a "
                             "href=\"mailto:%OVM_STORE_EMAIL\">%OVM_STORE_EMAIL</a> if you have any questions.",
                             true);

    bool new_visitor = false, welcome_shown = false;
    if (identify_client()) {
        read_client();
    } else {
        new_visitor = true;
        do_custom_welcome();
    }
    if (https == 0) set_none(DICT_SHOPPER, "SERVE_SECURE");
    initialize_client();
    set_client_http_data();
    maybe_repopulate_url_namespace();
    maybe_securify_url();
    // A shell invocation is never a visitor to welcome: the page would
    // stand in for the command-line operation or the maintenance asked for.
    if (new_visitor && !is_cmdline_action()) {
        std::string welcome = get_template_pathname("welcome");
        if (::access(welcome.c_str(), R_OK) == 0) {
            print_OVML_File(welcome);
            welcome_shown = true;
        }
    }
    poll_plugins("plugin_pre_validate", nullptr);

    std::string action(var_string(DICT_SHOPPER, "ACTION"));
    std::string item(var_string(DICT_SHOPPER, "ITEM"));
    validate_fields(action);
    rewrite_multiple_input_values();
    parse_batch_product_input();
    weed_selected();
    maybe_do_custom_cart_filter();
    weed_selected();

    if (!welcome_shown && !maybe_enforce_minmax_quantities(action)) {
        Orvel_grab_OVML_hook("pre_action");
        if (poll_plugins("plugin_pre_action", nullptr) != PLUGIN_HANDLED) route_action(action, item);
    }
    Orvel_grab_OVML_hook("post_action");
    poll_plugins("plugin_post_action", nullptr);
    update_last_action(action);
    save_previous_non_orvel_referer();
    write_client();
    do_daily_tasks();
    my_exit(0);
}
