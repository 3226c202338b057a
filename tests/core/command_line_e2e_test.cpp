// End-to-end: the program run from a shell as cron or an operator runs it
// (no CGI variables), the command-line operations, the configuration check,
// and which of these a web request may reach.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <utime.h>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

class Store : public Catalog {
public:
    Store() {
        write("products.txt", "SKUID: w-1\nNAME: Widget\nPRICE: 2.50\nNOTE: see %OVE_TEXT\n\n"
                              "SKUID: G2\nNAME: Gadget\nPRICE: 0\n");
        write("templates/receipt.html", "RECEIPT for %OVM_STORE_NAME\n");
        fs::create_directories(path() + "/pending");
        fs::create_directories(path() + "/orders");
    }
    // Ages a file below the catalog by `seconds`.
    void age(const std::string &relative, long seconds) const {
        struct utimbuf t;
        t.actime = t.modtime = time(nullptr) - seconds;
        ::utime((path() + "/" + relative).c_str(), &t);
    }
    std::vector<std::string> files_in(const std::string &relative) const {
        std::vector<std::string> names;
        for (auto &e : fs::directory_iterator(path() + "/" + relative)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Runs the program from a shell in the catalog directory: only PATH in the
// environment, arguments as given.
Response shell(const Catalog &cat, std::vector<std::string> args, bool merge_stderr = false) {
    Request r;
    r.cgi = false;
    r.args = std::move(args);
    r.merge_stderr = merge_stderr;
    return run_orvel(cat.path(), r);
}

Response web(const Catalog &cat, const std::string &query) {
    Request r;
    r.query = query;
    return run_orvel(cat.path(), r);
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The whole answer, byte for byte, and the exit status.
void expect_answer(const Response &r, int status, const std::string &raw) {
    EXPECT_EQ(r.exit_status, status) << r.raw;
    EXPECT_EQ(r.raw, raw);
}

}  // namespace

// ---- maintenance from cron ----------------------------------------------------------

TEST(Cron, CleanupFromAnotherDirectoryWithTheConfigurationInTheEnvironment) {
    Store store;
    store.configure("CMDLINE_ACTIONS: CLEANUP TEST DEBUG2\nCMDLINE_BADENV: GATEWAY_INTERFACE;REQUEST_METHOD\n"
                    "ORDER_FILE_AGE: 90\n");
    // The purge rules themselves are tested in-process; here one file of
    // each kind shows that every purge ran.
    store.write("users/user12345678.txt", "NAME:stale\n");
    store.write("users/user23456789.txt", "NAME:fresh\n");
    store.write("pending/A1.TXT", "old pending\n");
    store.write("orders/B7.txt", "old order\n");
    store.age("users/user12345678.txt", 2 * 86400);
    store.age("pending/A1.TXT", 8 * 86400);
    store.age("orders/B7.txt", 91 * 86400);

    // What a crontab line runs: the program by its absolute path, from the
    // home directory, with ORVEL_CONFIG naming the store.
    TempDir home;
    Request cron;
    cron.cgi = false;
    cron.env["ORVEL_CONFIG"] = store.path() + "/orvel.config";
    cron.args = {"-action", "CLEANUP", "-cmdline", "1"};
    Response r = run_orvel(home.path(), cron);
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_TRUE(contains(r.body, "<LI>Deleted 1 stale user file.</LI>\n")) << r.body;
    EXPECT_TRUE(contains(r.body, "<LI>Deleted 0 expired or malformed records from the pickups registry.</LI>\n"));
    EXPECT_TRUE(contains(r.body, "<LI>Deleted 1 stale pending order file.</LI>\n")) << r.body;
    EXPECT_TRUE(contains(r.body, "<LI>Deleted 1 stale orders file.</LI>\n")) << r.body;
    EXPECT_TRUE(contains(r.body, "<LI>Touched maintenance file.</LI>\n</UL>\n</BODY></HTML>\n")) << r.body;
    EXPECT_FALSE(store.exists("users/user12345678.txt"));
    EXPECT_TRUE(store.exists("users/user23456789.txt"));
    EXPECT_TRUE(store.files_in("pending").empty());
    EXPECT_TRUE(store.files_in("orders").empty());
    // The stamp of today holds the date and time of the run.
    char today[16];
    std::time_t now = std::time(nullptr);
    std::strftime(today, sizeof today, "%Y%m%d", std::localtime(&now));
    std::string stamp = store.read("users/last" + std::string(today) + ".txt");
    EXPECT_EQ(stamp.size(), 15u) << stamp;
    EXPECT_EQ(stamp.rfind(today, 0), 0u) << stamp;
    // Nothing was written where cron started the program.
    EXPECT_TRUE(fs::is_empty(home.path()));

    // The same action from the web is refused and deletes nothing.
    store.age("users/user23456789.txt", 2 * 86400);
    Response refused = web(store, "action=cleanup");
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_TRUE(contains(refused.body,
                         "ERROR: The action specified is not permitted via traditional CGI input methods."))
        << refused.body;
    EXPECT_TRUE(store.exists("users/user23456789.txt"));
}

TEST(Cron, MissingDirectoriesAreReportedNotCounted) {
    Catalog cat;  // users only: no pending or orders directory
    cat.configure("ORDER_FILE_AGE: 90\n");
    Response r = shell(cat, {"-action", "cleanup", "-cmdline", "1"});
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_TRUE(contains(r.body, "<LI>No pending orders directory maintenance performed.</LI>")) << r.body;
    EXPECT_TRUE(contains(r.body, "<LI>No orders directory maintenance performed.</LI>")) << r.body;
    EXPECT_FALSE(contains(r.body, "-1")) << r.body;

}

// ---- command-line operations --------------------------------------------------------

TEST(CommandLine, ProductDumpInTheGivenOrderWithoutHeaders) {
    Store store;
    store.configure("OVML_PRODUCT_FIELDS: NOTE\n");
    // A value that renders with a line break stays on its field's line; a
    // rendered field that a product lacks is set empty.
    Response r = shell(store, {"-action", "CL_PRODUCTS", "-item", "g2;nothing; w-1", "-text", "a\nPRICE:0.01",
                               "-cmdline", "1"});
    expect_answer(r, 0, "SKUID:G2\nQUANTITY:0\nNAME:Gadget\nPRICE:0\nNOTE:\n"
                     "SKUID:W-1\nQUANTITY:0\nNAME:Widget\nPRICE:2.50\nNOTE:see a\tPRICE:0.01\n");

    // An empty list prints nothing; so does every CL_ name over the web.
    EXPECT_EQ(shell(store, {"-action", "CL_PRODUCTS", "-cmdline", "1"}).raw, "");
    Request over_web;
    over_web.query = "action=CL_PRODUCTS&item=W-1";
    over_web.args = {"-x", "1", "-y"};  // arguments alone do not make a shell invocation
    over_web.env["CMDLINE_MARKER"] = "set";
    store.configure("CMDLINE_BADENV: CMDLINE_MARKER\n");
    Response silent = run_orvel(store.path(), over_web);
    expect_answer(silent, 0, "");
    Response unknown = shell(store, {"-action", "CL_BOGUS", "-cmdline", "1"});
    expect_answer(unknown, 0, "");
}

TEST(CommandLine, CmdlineFalseTurnsEveryInvocationIntoAWebOne) {
    Store store;
    store.configure("CMDLINE_FALSE: 1\nCMDLINE_ACTIONS: CLEANUP\n");
    EXPECT_EQ(shell(store, {"-action", "CL_PRODUCTS", "-item", "W-1", "-cmdline", "1"}).raw, "");
    Response r = shell(store, {"-action", "CLEANUP", "-cmdline", "1"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(contains(r.body, "not permitted via traditional CGI input methods")) << r.raw;
}

TEST(CommandLine, RenderingPagesAndTemplates) {
    Store store;
    Response page = shell(store, {"-action", "CL_RENDERP", "-item", "index.html", "-cmdline", "1"});
    expect_answer(page, 0, "<h1>Welcome to Corner Shop</h1>\n");
    Response tmpl = shell(store, {"-action", "CL_RENDERT", "-item", "receipt", "-cmdline", "1"});
    expect_answer(tmpl, 0, "RECEIPT for Corner Shop\n");

    Response missing = shell(store, {"-action", "CL_RENDERP", "-item", "absent.html", "-cmdline", "1"}, true);
    expect_answer(missing, 1, "Error: failed to open " + store.path() + "/docs/absent.html\n");
    Response missing_template = shell(store, {"-action", "CL_RENDERT", "-item", "nope", "-cmdline", "1"}, true);
    expect_answer(missing_template, 1, "Error: failed to open " + store.path() + "/templates/nope\n");
}

TEST(CommandLine, UnsafeNamesAreRefusedBeforeAnythingIsRead) {
    Store store;
    store.write("docs/notes.secret", "SECRET\n");
    for (std::string name : {"../orvel.config", "../products.txt", ".hidden.html", "notes.secret", ""}) {
        Response r = shell(store, {"-action", "CL_RENDERP", "-item", name, "-cmdline", "1"}, true);
        EXPECT_EQ(r.exit_status, 1) << name;
        EXPECT_EQ(r.raw, "Error: refused \"" + name +
                             "\": Orvel will only serve HTML files within her document root.\n");
    }
    for (std::string name : {"../orvel.config", "../../etc/passwd", ".profile", ""}) {
        Response r = shell(store, {"-action", "CL_RENDERT", "-item", name, "-cmdline", "1"}, true);
        EXPECT_EQ(r.exit_status, 1) << name;
        EXPECT_EQ(r.raw, "Error: refused \"" + name + "\": not a template name of this catalog.\n");
    }
    // Subdirectories of the templates are fine.
    store.write("templates/payment/check.html", "PAY BY CHECK\n");
    EXPECT_EQ(shell(store, {"-action", "CL_RENDERT", "-item", "payment/check.html", "-cmdline", "1"}).raw,
              "PAY BY CHECK\n");
}

TEST(CommandLine, OperationsLeaveNoSessionBehindAndNoWelcomePageIntervenes) {
    Store store;
    store.write("templates/welcome.html", "WELCOME\n");
    EXPECT_EQ(shell(store, {"-action", "CL_RENDERT", "-item", "receipt", "-cmdline", "1"}).raw,
              "RECEIPT for Corner Shop\n");
    EXPECT_EQ(shell(store, {"-action", "CL_RENDERP", "-item", "absent.html", "-cmdline", "1"}).exit_status, 1);
    EXPECT_TRUE(store.files_in("users").empty());

    // CL_NEWID keeps exactly the identity it prints.
    Response id = shell(store, {"-action", "CL_NEWID", "-cmdline", "1"});
    EXPECT_EQ(id.exit_status, 0);
    ASSERT_EQ(id.raw.size(), std::string("CLIENT:12345678\n").size()) << id.raw;
    std::string client = id.raw.substr(7, 8);
    EXPECT_EQ(store.files_in("users"), (std::vector<std::string>{"user" + client + ".lock", "user" + client + ".txt"}));

    // The maintenance from the shell runs too, welcome page or not.
    Response cleanup = shell(store, {"-action", "CLEANUP", "-cmdline", "1"});
    EXPECT_TRUE(contains(cleanup.body, "Touched maintenance file.")) << cleanup.raw;
    EXPECT_FALSE(contains(cleanup.body, "WELCOME"));
    // A web visitor still gets the welcome page.
    EXPECT_TRUE(contains(web(store, "action=serve&item=index.html").body, "WELCOME"));
}

TEST(CommandLine, DashCmdlineTakesTheNextArgumentAsItsValue) {
    Store store;
    // CMDLINE becomes "-action"; CL_RENDERT is a stray word and the start
    // page is served.
    Response r = shell(store, {"-cmdline", "-action", "CL_RENDERT"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.body, "<h1>Welcome to Corner Shop</h1>\n");
}

// ---- configuration check --------------------------------------------------------

TEST(Debug, ValidConfigurationGivesAnEmptyTextPage) {
    Store store;
    store.configure("CMDLINE_ACTIONS: DEBUG DEBUG2\n");
    Response r = shell(store, {"-action", "debug", "-cmdline", "1"});
    expect_answer(r, 0, "Content-type: text/plain\n\n\n");
    // DEBUG runs before the configuration is read, so the list cannot hold
    // it back; DEBUG2 goes through the dispatcher and is held back.
    Response early = web(store, "action=debug");
    expect_answer(early, 0, "Content-type: text/plain\n\n\n");
    Response held_back = web(store, "action=debug2");
    EXPECT_TRUE(contains(held_back.body, "not permitted")) << held_back.raw;
    Response late = shell(store, {"-action", "DEBUG2", "-cmdline", "1"});
    expect_answer(late, 0, "Content-type: text/plain\n\n\n");
}

TEST(Debug, InvalidConfigurationGivesItsFirstMessageOnce) {
    Store store;
    store.configure("HTTPS_ENABLED: 1\nMAIL_PATH: /usr/lib/secret-mailer\n");
    Response r = web(store, "action=debug");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.raw.rfind("Content-type: text/plain\n\n\n", 0), 0u) << r.raw;
    // One header block: the error page is the body of the text page.
    EXPECT_EQ(r.raw.find("Content-type", 1), std::string::npos) << r.raw;
    EXPECT_TRUE(contains(r.raw, "but the <KBD>HTTPS_CGI_BIN</KBD> field is missing or empty.")) << r.raw;
    EXPECT_FALSE(contains(r.raw, "secret-mailer"));

    // No configuration at all: the first required field is missing.
    TempDir nowhere;
    Request bare;
    bare.query = "action=DEBUG";
    Response none = run_orvel(nowhere.path(), bare);
    EXPECT_EQ(none.exit_status, 1);
    EXPECT_TRUE(contains(none.raw, "Your config file is missing its <KBD>ORVEL_NAME</KBD> field.")) << none.raw;
    EXPECT_FALSE(contains(none.raw, nowhere.path())) << none.raw;
}

// ---- the test checkout --------------------------------------------------------------

TEST(TestCheckout, HeldBackFromTheWebWhenListed) {
    Store store;
    store.configure("CMDLINE_ACTIONS: TEST\n");
    Response r = web(store, "action=test");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_TRUE(contains(r.body, "not permitted via traditional CGI input methods")) << r.raw;
}
