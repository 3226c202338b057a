// End-to-end: the demo store served by lighttpd, browsed by an HTTP client
// that keeps cookies like a browser.
#include "support/cgi_harness.h"
#include "support/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace orvel_test;

namespace {

std::string find_lighttpd() {
    for (const char *p : {"/usr/sbin/lighttpd", "/usr/bin/lighttpd", "/usr/local/sbin/lighttpd"})
        if (::access(p, X_OK) == 0) return p;
    return {};
}

// The demo store laid out in a temporary directory and served by lighttpd
// for the lifetime of the object; the server is stopped whatever happens.
class DemoServer {
public:
    DemoServer() : port_(free_local_port()) {
        std::string lighttpd = find_lighttpd();
        if (lighttpd.empty()) throw std::runtime_error("lighttpd is not installed");
        std::string layout = std::string(ORVEL_SOURCE_DIR) + "/tools/demo-layout.sh";
        std::string cmd = "bash '" + layout + "' '" + dir_.path() + "/store' " + std::to_string(port_) + " '" +
                          ORVEL_BINARY + "'";
        if (std::system(cmd.c_str()) != 0) throw std::runtime_error("demo layout failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            std::string conf = dir_.path() + "/store/lighttpd.conf";
            ::execl(lighttpd.c_str(), lighttpd.c_str(), "-D", "-f", conf.c_str(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            try {
                HttpClient probe(port_);
                probe.get("/store/style.css");
                return;
            } catch (const std::exception &) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        stop();
        throw std::runtime_error("lighttpd did not start");
    }
    ~DemoServer() { stop(); }
    int port() const { return port_; }

private:
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    TempDir dir_;
    int port_;
    pid_t pid_ = -1;
};

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(DemoStore, BrowseDetailAddViewBackReturn) {
    DemoServer server;
    HttpClient browser(server.port());

    HttpResponse start = browser.get("/cgi-bin/orvel");
    ASSERT_EQ(start.status, 200) << start.body;
    EXPECT_TRUE(contains(start.body, "Welcome to Leaf & Bean")) << start.body;
    EXPECT_TRUE(contains(start.body, "Darjeeling First Flush")) << start.body;
    EXPECT_TRUE(contains(start.body, "Ethiopia Yirgacheffe"));
    EXPECT_TRUE(contains(start.header("Set-Cookie"), "orvelcookie=OvSt")) << start.header("Set-Cookie");

    HttpResponse tea = browser.get("/cgi-bin/orvel?action=serve&item=tea.html");
    EXPECT_TRUE(contains(tea.body, "Moroccan Mint")) << tea.body;

    HttpResponse detail = browser.get("/cgi-bin/orvel?action=detail&item=C_ETH");
    ASSERT_EQ(detail.status, 200);
    EXPECT_TRUE(contains(detail.body, "Ethiopia Yirgacheffe")) << detail.body;
    EXPECT_TRUE(contains(detail.body, "$12.90")) << detail.body;

    browser.post("/cgi-bin/orvel", "action=add&item=C_ETH");
    HttpResponse second = browser.post("/cgi-bin/orvel", "action=add&item=C_ETH&ARG_QUANTITY=2");
    EXPECT_TRUE(contains(second.body, "NAME=\"PRODUCT_C_ETH\" VALUE=\"3\"")) << second.body;
    browser.post("/cgi-bin/orvel", "action=add&item=T_EARL");

    HttpResponse view = browser.get("/cgi-bin/orvel?action=view");
    ASSERT_EQ(view.status, 200);
    EXPECT_TRUE(contains(view.body, "Ethiopia Yirgacheffe")) << view.body;
    EXPECT_TRUE(contains(view.body, "Earl Grey")) << view.body;
    EXPECT_TRUE(contains(view.body, "NAME=\"PRODUCT_C_ETH\" VALUE=\"3\"")) << view.body;
    EXPECT_TRUE(contains(view.body, "NAME=\"PRODUCT_T_EARL\" VALUE=\"1\"")) << view.body;
    EXPECT_TRUE(contains(view.body, "$38.70")) << "3 x 12.90\n" << view.body;

    // BACK after a detail page goes to that page again.
    browser.get("/cgi-bin/orvel?action=detail&item=K_POT");
    HttpResponse back = browser.get("/cgi-bin/orvel?action=back");
    EXPECT_TRUE(back.status == 301 || back.status == 302) << back.status << back.body;
    EXPECT_TRUE(contains(back.header("Location"), "?action=detail&item=K_POT")) << back.header("Location");

    // RETURN goes back to the last page served.
    HttpResponse ret = browser.get("/cgi-bin/orvel?action=return");
    EXPECT_EQ(ret.status, 200);
    EXPECT_TRUE(contains(ret.body, "Moroccan Mint")) << ret.body;
}
