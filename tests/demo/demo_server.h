// The demo store for end-to-end tests: laid out by tools/demo-layout.sh in
// a temporary directory and served by lighttpd, and what a page sent to a
// shopper must look like.
#pragma once

#include "support/cgi_harness.h"
#include "support/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace demo_test {

using namespace orvel_test;

inline std::string find_lighttpd() {
    for (const char *p : {"/usr/sbin/lighttpd", "/usr/bin/lighttpd", "/usr/local/sbin/lighttpd"})
        if (::access(p, X_OK) == 0) return p;
    return {};
}

inline int run_layout(const std::string &store, int port) {
    std::string cmd = "bash '" + std::string(ORVEL_SOURCE_DIR) + "/tools/demo-layout.sh' '" + store + "' " +
                      std::to_string(port) + " '" + ORVEL_BINARY + "' 2>/dev/null";
    return std::system(cmd.c_str());
}

// The demo store laid out in a temporary directory and served by lighttpd
// until the object goes; restart() lays it out again over the same
// directory, as a second run of the demo does.  Run as root, the server and
// the program run as "nobody".
class DemoServer {
public:
    DemoServer() : port_(free_local_port()) {
        if (find_lighttpd().empty()) throw std::runtime_error("lighttpd is not installed");
        if (::geteuid() == 0) {
            ::chmod(dir_.path().c_str(), 0755);  // the unprivileged server must reach the store
            ::setenv("ORVEL_DEMO_USER", "nobody", 1);
        }
        start();
    }
    ~DemoServer() { stop(); }
    int port() const { return port_; }
    std::string store() const { return dir_.path() + "/store"; }

    void restart() {
        stop();
        start();
    }

private:
    void start() {
        if (run_layout(store(), port_) != 0) throw std::runtime_error("demo layout failed");
        pid_ = ::fork();
        if (pid_ == 0) {
            std::string lighttpd = find_lighttpd(), conf = store() + "/lighttpd.conf";
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

inline bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// A page as the shopper gets it: no template comments (element errors show
// up as comments), no tokens or elements left unrendered.
inline void expect_clean_page(const HttpResponse &r, const std::string &what) {
    EXPECT_EQ(r.status, 200) << what << "\n" << r.body;
    EXPECT_FALSE(contains(r.body, "<!--")) << what << "\n" << r.body;
    EXPECT_FALSE(contains(r.body, "%OV")) << what << "\n" << r.body;
    EXPECT_FALSE(contains(r.body, "ORVEL_")) << what << "\n" << r.body;
}

}  // namespace demo_test
