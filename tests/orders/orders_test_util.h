// Shared set-up for the order tests: fresh dictionaries, a catalog
// directory as CAT_DIR and working directory (so the error log can be
// switched on), a shopper with a client id and a request date, products in
// the cart, and running several copies of a step in parallel processes.
#pragma once

#include "catalog/products.h"
#include "catalog/selection.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/child.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace orders_test {

// Local date and time `seconds` from now as fourteen digits.
inline std::string datetime_in(long seconds) {
    std::time_t t = std::time(nullptr) + seconds;
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", std::localtime(&t));
    return buf;
}

class OrdersTest : public ::testing::Test {
protected:
    OrdersTest() : cwd(dir.path()) {
        dir.write("orvel.err", "");  // the error log is on
        reset_log_state();
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
        set_string(DICT_CONFIG, "STORE_NAME", "Corner Shop");
        set_string(DICT_CONFIG, "STORE_EMAIL", "owner@shop.test");
        set_string(DICT_SHOPPER, "CLIENT", "12345678");
        set_string(DICT_ORVEL, "DATE", "20240301101500");
        ::mkdir((dir.path() + "/users").c_str(), 0700);
        set_current_product(nullptr);
    }
    ~OrdersTest() override {
        set_current_product(nullptr);
        reset_log_state();
    }

    // A loaded product record in the cart.
    var *add_product(const std::string &skuid, int quantity,
                     std::initializer_list<std::pair<const char *, const char *>> fields) {
        var *p = new_product(skuid);
        set_string(p, "SKUID", skuid);
        for (const auto &[name, value] : fields) set_string(p, name, value);
        set_selected_quantity(skuid, quantity);
        return p;
    }

    std::string error_log() const { return dir.read("orvel.err"); }

    static unsigned mode_of(const std::string &path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }

    orvel_test::FreshDictionaries dicts;
    orvel_test::TempDir dir;
    orvel_test::WorkingDirectory cwd;
};

// Runs `body` in `count` child processes started together; each child's
// standard output (what it printed) in start order.  A child that fails
// to exit 0 gives "<exit N>".
inline std::vector<std::string> run_in_parallel(int count, const std::function<void(int)> &body) {
    std::vector<std::string> outputs(static_cast<std::size_t>(count));
    std::vector<std::pair<pid_t, int>> children;
    int go[2];
    if (::pipe(go) != 0) return outputs;
    std::fflush(nullptr);
    for (int i = 0; i < count; ++i) {
        int out[2];
        if (::pipe(out) != 0) break;
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(go[1]);
            ::close(out[0]);
            ::dup2(out[1], 1);
            ::close(out[1]);
            char c;
            while (::read(go[0], &c, 1) < 0) {}  // wait until every child is ready
            body(i);
            std::fflush(nullptr);
            ::_exit(0);
        }
        ::close(out[1]);
        children.emplace_back(pid, out[0]);
    }
    ::close(go[0]);
    ::close(go[1]);  // releases them all at once
    for (std::size_t i = 0; i < children.size(); ++i) {
        auto [pid, fd] = children[i];
        char buf[4096];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) outputs[i].append(buf, static_cast<std::size_t>(n));
        ::close(fd);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            outputs[i] = "<exit " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ">";
    }
    return outputs;
}

}  // namespace orders_test
