// End-to-end: the request sequence as a web server or a shell sees it.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvel_test;

namespace {

Response get(const Catalog &cat, const std::string &query) {
    Request r;
    r.query = query;
    return run_orvel(cat.path(), r);
}

Response shell(const std::string &dir, std::vector<std::string> args) {
    Request r;
    r.cgi = false;
    r.args = std::move(args);
    return run_orvel(dir, r);
}

}  // namespace

TEST(Version, CommandLineFlagsPrintThreeLinesAndExitZero) {
    TempDir empty;  // no configuration needed: the version comes first
    for (std::string flag : {"-v", "-VERSION", "-c", "-V"}) {
        Response r = shell(empty.path(), {flag});
        EXPECT_EQ(r.exit_status, 0) << flag;
        EXPECT_TRUE(r.raw.rfind("Orvel 4.042 flock\n\tBuilt ", 0) == 0) << r.raw;
        EXPECT_NE(r.raw.find(" on i586-pc-linux-gnulibc2.2\n\t"), std::string::npos);
        EXPECT_EQ(std::count(r.raw.begin(), r.raw.end(), '\n'), 3) << r.raw;
    }
    // A -v taken as the value of the argument before it is not a flag.
    Catalog cat;
    Response r = shell(cat.path(), {"-note", "-v", "-action", "message", "-item", "hi"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_NE(r.body.find("MESSAGE: hi"), std::string::npos) << r.raw;
}

TEST(Version, VersionActionOverCgiHasPlainTextHeader) {
    Catalog cat;
    Response r = get(cat, "action=version");
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.raw.rfind("Content-type: text/plain\n\nOrvel 4.042 flock\n", 0), 0u) << r.raw;
}

TEST(Configuration, MissingFileGivesNotFoundPageWithStatusOne) {
    TempDir empty;
    Request req;
    Response r = run_orvel(empty.path(), req);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.status, "200 200");
    EXPECT_NE(r.body.find("<title>Something's Wrong...</title>"), std::string::npos) << r.raw;
    EXPECT_NE(r.body.find("Orvel couldn't find her configuration file."), std::string::npos);
    EXPECT_NE(r.body.find("Right now, Orvel thinks she is in \"" + empty.path() + "\"."), std::string::npos);
}

TEST(Configuration, FoundThroughEnvironmentAndProgramName) {
    Catalog cat;
    TempDir elsewhere;
    Request req;
    req.env["ORVEL_CONFIG"] = cat.path() + "/orvel.config";
    Response r = run_orvel(elsewhere.path(), req);
    EXPECT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.body.find("Welcome to Corner Shop"), std::string::npos) << r.raw;
}

TEST(Configuration, MissingRequiredFieldIsNamed) {
    Catalog cat;
    std::string config = cat.base_config();
    config.erase(config.find("STORE_EMAIL"), config.find('\n', config.find("STORE_EMAIL")) - config.find("STORE_EMAIL") + 1);
    cat.set_config(config);
    Response r = get(cat, "");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("ERROR: Your config file is missing its <KBD>STORE_EMAIL</KBD> field.  Please enter it "
                          "with the appropriate value."),
              std::string::npos)
        << r.raw;
}

TEST(Configuration, ValidationMessages) {
    {
        Catalog cat;
        cat.configure("ORVEL_NAME: shop.cgi\n");
        Response r = get(cat, "");
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_NE(r.body.find("The name of your Orvel CGI must contain \"orvel\""), std::string::npos) << r.raw;
    }
    {
        Catalog cat;
        cat.configure("HTTPS_ENABLED: 1\nHTTPS_CGI_BIN: https://shop.test/cgi-bin\nHTTPS_DOC_ROOT:\n");
        Response r = get(cat, "");
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_NE(r.body.find("but the <KBD>HTTPS_DOC_ROOT</KBD> field is missing or empty."), std::string::npos)
            << r.raw;
    }
    {
        Catalog cat;
        cat.configure("HTTPS_ENABLED: 1\n");
        Response r = get(cat, "");
        EXPECT_NE(r.body.find("but the <KBD>HTTPS_CGI_BIN</KBD> field is missing or empty."), std::string::npos);
    }
}

TEST(ClosedStore, EveryActionGetsTheClosedMessage) {
    Catalog cat;
    cat.configure("CLOSED: 1\n");
    for (std::string query : {"", "action=serve&item=index.html", "action=nonsense"}) {
        Response r = get(cat, query);
        EXPECT_EQ(r.exit_status, 1) << query;
        EXPECT_NE(r.body.find("MESSAGE: Sorry, but our store is currently closed.  Contact us at <a "
                              "href=\"mailto:owner@shop.test\">owner@shop.test</a> if you have any questions."),
                  std::string::npos)
            << r.raw;
    }
    Response r = shell(cat.path(), {"-action", "version", "-cmdline"});
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("currently closed"), std::string::npos);
    // "no" is a true text, so CLOSED: no closes the store too.
    Catalog quirky;
    quirky.configure("CLOSED: no\n");
    EXPECT_EQ(get(quirky, "").exit_status, 1);
    Catalog open;
    open.configure("CLOSED: 0.00\n");
    EXPECT_EQ(get(open, "").exit_status, 0);
}

TEST(Request, StartPageRendersWithHeaderBlockInOrder) {
    Catalog cat;
    Response r = get(cat, "");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    std::vector<std::string> names;
    for (auto &h : r.headers) names.push_back(h.first);
    EXPECT_EQ(names, (std::vector<std::string>{"Status", "Set-Cookie", "Pragma", "Cache-Control", "Expires",
                                                "Content-type"}));
    EXPECT_EQ(r.header("Cache-Control"), "no-Cache");
    EXPECT_EQ(r.body, "<h1>Welcome to Corner Shop</h1>\n");
}

TEST(Request, CommandLineArgumentsBecomeShopperFields) {
    Catalog cat;
    // -cmdline as the last argument sets CMDLINE to 1 and keeps the query out.
    Request req;
    req.query = "action=error&item=from-query";
    req.args = {"-action", "message", "-item", "from-args", "-cmdline"};
    Response r = run_orvel(cat.path(), req);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_NE(r.body.find("MESSAGE: from-args"), std::string::npos) << r.raw;
}

TEST(Request, UnknownActionIsNamedEscaped) {
    Catalog cat;
    Response r = get(cat, "action=<b>bogus");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("Orvel doesn't recognize \"&lt;B&gt;BOGUS\" as a valid action."), std::string::npos)
        << r.raw;
}

TEST(Request, ErrorTemplateFailingFallsBackToPlainPage) {
    Catalog cat;
    ::unlink((cat.path() + "/templates/error.html").c_str());
    Response r = get(cat, "action=bogus");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("<blockquote><p>Orvel doesn't recognize"), std::string::npos) << r.raw;
}

TEST(Signals, CrashSignalPrintsCrashPageOnce) {
    for (int sig : {SIGTERM, SIGSEGV}) {
        Catalog cat;
        Request req;
        req.method = "POST";
        req.env["CONTENT_LENGTH"] = "1000";  // more than is sent: the process waits for input
        req.hold_stdin = true;
        req.kill_after_ms = 300;
        req.kill_signal = sig;
        Response r = run_orvel(cat.path(), req);
        EXPECT_EQ(r.exit_status, sig + 1) << r.raw;
        EXPECT_EQ(r.raw.rfind("Content-type: text/html\n\n<html>", 0), 0u) << r.raw;
        std::string expected = "{#" + std::to_string(sig) + ", \"\"},which prevents";
        EXPECT_NE(r.body.find(expected), std::string::npos) << r.raw;
        EXPECT_EQ(r.body.find("Orvel Error</h1>"), r.body.rfind("Orvel Error</h1>")) << "page printed twice";
    }
}

TEST(Signals, AlarmBeforeTheConfigurationUsesTheDefault) {
    Catalog cat;
    cat.configure("ORVEL_TIMEOUT: 3\n");  // clamped up to 10 seconds
    Request req;
    req.method = "POST";
    req.env["CONTENT_LENGTH"] = "1000";
    req.hold_stdin = true;
    req.timeout_seconds = 40;
    // The configuration is read after the body, so the first alarm (60 s)
    // is what ends this request unless something sends SIGALRM sooner.
    req.kill_after_ms = 200;
    req.kill_signal = SIGALRM;
    Response r = run_orvel(cat.path(), req);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("Orvel could not complete your request in her allotted process time of 60 seconds."),
              std::string::npos)
        << r.raw;
}

TEST(Logs, RequestLogLineOnlyWhenTheFileExists) {
    Catalog cat;
    get(cat, "");
    EXPECT_FALSE(cat.exists("orvel.log"));
    EXPECT_FALSE(cat.exists("orvel.err"));
    cat.write("orvel.log", "");
    Request req;
    req.query = "action=serve&item=index.html";
    req.env["REMOTE_HOST"] = "";
    run_orvel(cat.path(), req);
    get(cat, "action=bogus");
    std::string log = cat.read("orvel.log");
    std::regex line1(R"(^\d+\.\d{14}: "127\.0\.0\.1" \d{8} SERVE index\.html \[\] \(\d+\.\d{3} seconds; status = 0\)\n)");
    EXPECT_TRUE(std::regex_search(log, line1)) << log;
    std::regex line2(R"(\n\d+\.\d{14}: "127\.0\.0\.1" \d{8} BOGUS \[\] \(\d+\.\d{3} seconds; status = 1\)\n$)");
    EXPECT_TRUE(std::regex_search(log, line2)) << log;
}

TEST(Logs, ConfiguredLogFormatAndPath) {
    Catalog cat;
    cat.configure("ORVEL_COMMON_LOG: " + cat.path() + "/requests.txt\nLOG_FORMAT: %OVH_LOG_STATUS|x %OVE_ITEM\n");
    cat.write("requests.txt", "");
    get(cat, "action=message&item=hello%0Aforged");
    EXPECT_NE(cat.read("requests.txt").find(": 0 hello forged\n"), std::string::npos) << cat.read("requests.txt");
}

TEST(Signals, ConfiguredAlarmIsClampedAndEndsAStuckRequest) {
    Catalog cat;
    cat.configure("ORVEL_TIMEOUT: 3\n");  // clamped up to 10 seconds
    // The start page is a pipe nobody writes to: the request blocks after
    // the configuration was read, until the alarm ends it.
    std::string page = cat.path() + "/docs/index.html";
    ::unlink(page.c_str());
    ASSERT_EQ(::mkfifo(page.c_str(), 0600), 0);
    Request req;
    req.timeout_seconds = 40;
    Response r = run_orvel(cat.path(), req);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("ERROR: Orvel could not complete your request in her allotted process time of 10 seconds."
                          "  Please try again, or contact the webmaster of this site if the problem persists."),
              std::string::npos)
        << r.raw;
}

TEST(Signals, StuckHandlerIsEndedByTheSecondSignal) {
    Catalog cat;
    // The error page cannot be read, so the timeout handler blocks; its
    // backstop alarm must end the process without a second page.
    std::string error_page = cat.path() + "/templates/error.html";
    ::unlink(error_page.c_str());
    ASSERT_EQ(::mkfifo(error_page.c_str(), 0600), 0);
    std::string page = cat.path() + "/docs/index.html";
    ::unlink(page.c_str());
    ASSERT_EQ(::mkfifo(page.c_str(), 0600), 0);
    Request req;
    req.kill_after_ms = 200;
    req.kill_signal = SIGALRM;
    req.timeout_seconds = 30;
    Response r = run_orvel(cat.path(), req);
    EXPECT_EQ(r.exit_status, SIGALRM + 1) << r.raw;
    EXPECT_EQ(r.body.find("allotted process time"), std::string::npos) << r.raw;
}
