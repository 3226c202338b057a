// End-to-end: shoppers recognised across requests by cookie, path or query.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <thread>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

class Shop : public Catalog {
public:
    Shop() {
        write("docs/index.html", "CLIENT=%OVE_CLIENT NAME=%OVE_NAME MAIN=%OVU_MAIN\n");
    }
    std::vector<std::string> session_ids() const {
        std::vector<std::string> ids;
        for (auto &e : fs::directory_iterator(path() + "/users")) {
            std::string n = e.path().filename().string();
            std::smatch m;
            if (std::regex_match(n, m, std::regex(R"(user(\d{8})\.txt)"))) ids.push_back(m[1]);
        }
        return ids;
    }
    Response get(const std::string &query, const std::string &cookie = "",
                 std::map<std::string, std::string> env = {}) const {
        return get_page(path(), query, cookie, std::move(env));
    }
};

std::string field(const std::string &body, const std::string &name) { return page_field(body, name); }

}  // namespace

TEST(Sessions, FirstVisitGetsIdCookieAndSessionFile) {
    Shop shop;
    Response r = shop.get("name=Ann");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    std::string id = field(r.body, "CLIENT");
    ASSERT_TRUE(std::regex_match(id, std::regex(R"([1-9]\d{7})"))) << r.body;
    EXPECT_TRUE(std::regex_match(r.header("Set-Cookie"),
                                 std::regex(R"(orvelcookie=OvSt01[0-9A-Za-n]+\.[0-9a-f]{64}; domain=\.shop\.test; path=/; )"
                                            R"(expires=\w{3}, \d\d \w{3} \d{4} \d\d:\d\d:\d\d GMT; )"
                                            R"(HttpOnly; SameSite=Lax)")))
        << r.header("Set-Cookie");
    EXPECT_NE(field(r.body, "MAIN").find("/ovpi/u/OvSt01"), std::string::npos) << "no cookie yet: id in the path";
    std::string session = shop.read("users/user" + id + ".txt");
    EXPECT_NE(session.find("_NAME:Ann\n"), std::string::npos) << session;
    EXPECT_TRUE(std::regex_search(session, std::regex(R"(_USERFILE_CREATION_DATE:\d+\n)"))) << session;
    EXPECT_EQ(shop.session_ids(), std::vector<std::string>{id});
}

TEST(Sessions, CookieBringsTheSameShopperBack) {
    Shop shop;
    Response first = shop.get("name=Ann");
    std::string id = field(first.body, "CLIENT");
    Response second = shop.get("", cookie_of(first));
    ASSERT_EQ(second.exit_status, 0) << second.raw;
    EXPECT_EQ(field(second.body, "CLIENT"), id);
    EXPECT_EQ(field(second.body, "NAME"), "Ann");
    EXPECT_EQ(field(second.body, "MAIN"), "http://shop.test/cgi-bin/orvel") << "cookie shoppers get plain URLs";
    // A value passed in the query wins over the stored one.
    Response third = shop.get("name=Bea", cookie_of(first));
    EXPECT_EQ(field(third.body, "NAME"), "Bea");
    EXPECT_EQ(shop.session_ids().size(), 1u);
}

TEST(Sessions, PathInformationCarriesTheIdentity) {
    Shop shop;
    Response first = shop.get("name=Cy");
    std::string id = field(first.body, "CLIENT");
    std::string main = field(first.body, "MAIN");
    std::string path_info = main.substr(main.find("/ovpi/u/"));
    Response again = shop.get("", "", {{"PATH_INFO", path_info}});
    EXPECT_EQ(field(again.body, "CLIENT"), id) << again.raw;
    EXPECT_EQ(field(again.body, "NAME"), "Cy");

    // A shopper whose session recorded a cookie is refused without it.
    Response with_cookie = shop.get("", cookie_of(first));
    ASSERT_EQ(field(with_cookie.body, "CLIENT"), id);
    Response forgot = shop.get("", "", {{"PATH_INFO", path_info}});
    EXPECT_NE(field(forgot.body, "CLIENT"), id) << "forgot cookie";
}

TEST(Sessions, CookieReadOnceWhenSeveralSourcesAreTried) {
    Shop shop;
    Response first = shop.get("");
    std::string id = field(first.body, "CLIENT");
    std::string main = field(first.body, "MAIN");
    // The cookie is refused, the path is accepted: the cookie the request
    // carried is recorded as it came, not joined with itself.
    Response again = shop.get("", "orvelcookie=stale", {{"PATH_INFO", main.substr(main.find("/ovpi/u/"))}});
    ASSERT_EQ(field(again.body, "CLIENT"), id) << again.raw;
    EXPECT_NE(shop.read("users/user" + id + ".txt").find("_STORED_COOKIE:stale\n"), std::string::npos)
        << shop.read("users/user" + id + ".txt");
}

TEST(Sessions, ForgedIdsAreRefusedFromEverySource) {
    Shop shop;
    shop.configure("ALLOW_RAW_CLIENT: 1\nALLOW_UNKNOWN_USERS: 1\n");
    shop.write("outside.txt", "_NAME:Mallory\n");
    for (std::string forged : {"../outside", "123", "1234567a", "12345678/../../outside", "012345678"}) {
        Response by_cookie = shop.get("", "orvelcookie=" + forged);
        EXPECT_TRUE(std::regex_match(field(by_cookie.body, "CLIENT"), std::regex(R"([1-9]\d{7})"))) << forged;
        EXPECT_EQ(field(by_cookie.body, "NAME"), "") << forged;
        Response by_query = shop.get("client=" + forged);
        EXPECT_TRUE(std::regex_match(field(by_query.body, "CLIENT"), std::regex(R"([1-9]\d{7})"))) << forged;
        Response by_path = shop.get("", "", {{"PATH_INFO", "/ovpi/u/" + forged + "/orvel"}});
        EXPECT_TRUE(std::regex_match(field(by_path.body, "CLIENT"), std::regex(R"([1-9]\d{7})"))) << forged;
    }
    EXPECT_EQ(shop.read("outside.txt"), "_NAME:Mallory\n");
    // A raw cookie id the store allows still works when it is well formed.
    Response first = shop.get("name=Dee");
    std::string id = field(first.body, "CLIENT");
    EXPECT_EQ(field(shop.get("", "orvelcookie=" + id).body, "NAME"), "Dee");
}

TEST(Sessions, UpdateRerunsTheLastFormStep) {
    Shop shop;
    shop.write("templates/actions/confirm.html", "CONFIRM PAGE for %OVE_CLIENT\n");
    Response confirm = shop.get("action=confirm");
    ASSERT_NE(confirm.body.find("CONFIRM PAGE"), std::string::npos) << confirm.raw;
    Response update = shop.get("action=update", cookie_of(confirm));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(confirm.body, m, std::regex(R"(for (\d{8}))")));
    EXPECT_NE(update.body.find("CONFIRM PAGE for " + m[1].str()), std::string::npos) << update.raw;
    EXPECT_EQ(update.exit_status, 0);
}

TEST(Sessions, UnknownActionEndsWithStatusOne) {
    Shop shop;
    Response r = shop.get("action=frobnicate");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("Orvel doesn't recognize \"FROBNICATE\" as a valid action."), std::string::npos);
    EXPECT_TRUE(shop.session_ids().size() <= 1u);
}

TEST(Sessions, ParallelRequestsOfOneShopperLoseNothing) {
    Shop shop;
    Response first = shop.get("");
    std::string cookie = cookie_of(first);
    std::string id = field(first.body, "CLIENT");
    std::vector<std::thread> threads;
    std::vector<Response> answers(20);
    for (int i = 0; i < 20; ++i)
        threads.emplace_back([&, i] { answers[i] = shop.get("product_P" + std::to_string(i) + "=1", cookie); });
    for (auto &t : threads) t.join();
    for (auto &a : answers) EXPECT_EQ(a.exit_status, 0) << a.raw;
    std::string session = shop.read("users/user" + id + ".txt");
    for (int i = 0; i < 20; ++i)
        EXPECT_NE(session.find("P" + std::to_string(i) + ":1\n"), std::string::npos) << "P" << i << "\n" << session;
}

TEST(Sessions, SimultaneousNewcomersGetDistinctIds) {
    Shop shop;
    std::vector<std::thread> threads;
    std::vector<Response> answers(20);
    for (int i = 0; i < 20; ++i) threads.emplace_back([&, i] { answers[i] = shop.get(""); });
    for (auto &t : threads) t.join();
    std::set<std::string> ids;
    for (auto &a : answers) ids.insert(field(a.body, "CLIENT"));
    EXPECT_EQ(ids.size(), 20u);
    EXPECT_EQ(shop.session_ids().size(), 20u);
}

TEST(CommandLine, NewIdOnlyFromARealShell) {
    Shop shop;
    Request shell;
    shell.cgi = false;
    shell.args = {"-action", "CL_NEWID", "-cmdline", "1"};
    Response r = run_orvel(shop.path(), shell);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_TRUE(std::regex_match(r.raw, std::regex(R"(CLIENT:\d{8}\n)"))) << r.raw;

    // The same words arriving as a query without "=" are program arguments
    // to the web server, but never a command-line invocation.
    Request web;
    web.query = "-action+CL_NEWID+-cmdline+1";
    web.args = {"-action", "CL_NEWID", "-cmdline", "1"};
    Response w = run_orvel(shop.path(), web);
    EXPECT_EQ(w.exit_status, 0);
    EXPECT_EQ(w.raw, "");
}
