// End-to-end: shopper identities are authenticated.  An id the store did
// not sign (forged, tampered, or only well encoded) never reaches a
// session; signed ones work from the cookie, the path and the secure-switch
// token; the key is made once per store.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <thread>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

class Store : public Catalog {
public:
    Store() { write("docs/index.html", "CLIENT=%OVE_CLIENT NAME=%OVE_NAME MAIN=%OVU_MAIN\n"); }
    Response get(const std::string &query, const std::string &cookie = "",
                 std::map<std::string, std::string> env = {}) const {
        return get_page(path(), query, cookie, std::move(env));
    }
    // The signed identity of `id`, minted from the shell.
    std::string identity(const std::string &id) const {
        Request shell;
        shell.cgi = false;
        shell.args = {"-action", "CL_IDENTITY", "-client", id};
        Response r = run_orvel(path(), shell);
        EXPECT_EQ(r.exit_status, 0) << r.raw;
        std::string line = r.raw;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        return line;
    }
};

std::string field(const std::string &body, const std::string &name) { return page_field(body, name); }

// An id in the store's own encoding, as anyone can write it, without a MAC.
std::string unsigned_encoding(const std::string &id) {
    // Version 1: "%8.8s" + 0x1E + "%10.10d", each byte as two base-50 digits.
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";
    char payload[32];
    std::snprintf(payload, sizeof payload, "%8.8s%c%10.10ld", id.c_str(), 0x1e, static_cast<long>(time(nullptr)) + 3600);
    std::string out = "OvSt01";
    for (const char *p = payload; *p; ++p) {
        unsigned char b = static_cast<unsigned char>(*p);
        out += digits[b / 50];
        out += digits[b % 50];
    }
    return out;
}

}  // namespace

TEST(Identity, OnlySignedIdsReachASession) {
    Store store;
    Response first = store.get("name=Ann");
    ASSERT_EQ(first.exit_status, 0) << first.raw;
    const std::string id = field(first.body, "CLIENT");
    const std::string signed_id = cookie_value(first);
    ASSERT_TRUE(std::regex_match(signed_id, std::regex(R"(OvSt01[0-9A-Za-n]+\.[0-9a-f]{64})"))) << signed_id;

    // The genuine cookie and path bring the shopper back.
    EXPECT_EQ(field(store.get("", "orvelcookie=" + signed_id).body, "NAME"), "Ann");

    const std::string bare = signed_id.substr(0, signed_id.find('.'));
    std::string tampered = signed_id;
    tampered.back() = tampered.back() == '0' ? '1' : '0';
    const std::string other_key = bare + "." + std::string(64, 'a');
    for (const std::string &forged : {bare, unsigned_encoding(id), tampered, other_key}) {
        Response by_cookie = store.get("", "orvelcookie=" + forged);
        EXPECT_NE(field(by_cookie.body, "CLIENT"), id) << "cookie " << forged;
        EXPECT_EQ(field(by_cookie.body, "NAME"), "") << forged;
        Response by_path = store.get("", "", {{"PATH_INFO", "/ovpi/u/" + forged + "/orvel"}});
        EXPECT_NE(field(by_path.body, "CLIENT"), id) << "path " << forged;
    }
    // The forged requests left the shopper's session alone.
    EXPECT_NE(store.read("users/user" + id + ".txt").find("_NAME:Ann\n"), std::string::npos);
}

TEST(Identity, SecureSwitchTokenNeedsASignedIdentity) {
    Store store;
    store.configure("REQUIRE_COOKIES: 1\n");
    Response first = store.get("name=Bo");
    const std::string id = field(first.body, "CLIENT");
    ASSERT_FALSE(id.empty()) << first.raw;

    // A raw id with the token is not enough.
    Response raw = store.get("stored_cookie=secure&client=" + id);
    EXPECT_NE(field(raw.body, "CLIENT"), id) << raw.body;
    EXPECT_EQ(field(raw.body, "NAME"), "");

    // The signed identity (query or path) carries the shopper across.
    Response by_query = store.get("stored_cookie=secure&client=" + store.identity(id));
    EXPECT_EQ(field(by_query.body, "CLIENT"), id) << by_query.raw;
    EXPECT_EQ(field(by_query.body, "NAME"), "Bo");
    Response by_path = store.get("stored_cookie=secure", "", {{"PATH_INFO", "/ovpi/u/" + store.identity(id) + "/orvel"}});
    EXPECT_EQ(field(by_path.body, "NAME"), "Bo") << by_path.raw;
}

TEST(Identity, CommandLineMintsIdentitiesButTheWebCannot) {
    Store store;
    Response first = store.get("name=Cy");
    const std::string id = field(first.body, "CLIENT");
    const std::string minted = store.identity(id);
    EXPECT_TRUE(std::regex_match(minted, std::regex(R"(OvSt01[0-9A-Za-n]+\.[0-9a-f]{64})"))) << minted;
    EXPECT_EQ(field(store.get("", "orvelcookie=" + minted).body, "NAME"), "Cy");

    Request web;
    web.query = "action=cl_identity&client=" + id;
    Response w = run_orvel(store.path(), web);
    EXPECT_EQ(w.exit_status, 0);
    EXPECT_EQ(w.raw, "");
}

TEST(Identity, BakedCartIsCoveredByTheSignature) {
    Store store;
    store.configure("BAKE_USERFILE: 1\n");
    Response first = store.get("product_W1=2");
    const std::string value = cookie_value(first);
    ASSERT_NE(value.find('~'), std::string::npos) << value;
    const std::string id = field(first.body, "CLIENT");
    EXPECT_EQ(field(store.get("", "orvelcookie=" + value).body, "CLIENT"), id);

    // Changing the baked lines (W1:2 -> W1:9) breaks the MAC.
    std::string changed = value;
    std::size_t two = changed.find("3A32", changed.find('~'));  // ":2" in base 16
    ASSERT_NE(two, std::string::npos) << changed;
    changed.replace(two, 4, "3A39");
    EXPECT_NE(field(store.get("", "orvelcookie=" + changed).body, "CLIENT"), id);
}

TEST(Identity, KeyIsMadeOnceWithOwnerOnlyMode) {
    Store store;
    std::vector<std::thread> threads;
    std::vector<Response> answers(12);
    for (int i = 0; i < 12; ++i) threads.emplace_back([&, i] { answers[i] = store.get(""); });
    for (auto &t : threads) t.join();
    struct stat st {};
    ASSERT_EQ(::stat((store.path() + "/identity.key").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 32);
    // Every newcomer's cookie verifies with the one key that stayed.
    for (const Response &a : answers) {
        ASSERT_EQ(a.exit_status, 0) << a.raw;
        EXPECT_EQ(field(store.get("", "orvelcookie=" + cookie_value(a)).body, "CLIENT"), field(a.body, "CLIENT"));
    }
    for (auto &e : fs::directory_iterator(store.path()))
        EXPECT_EQ(e.path().filename().string().find(".identity.key."), std::string::npos) << "temporary key left";
}

TEST(Identity, UnreadableKeyIsAClearError) {
    Store store;
    store.write("identity.key", "short");
    Response r = store.get("");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.body.find("identity key"), std::string::npos) << r.body;
}

TEST(Identity, CookieIsHttpOnlyLaxAndSecureOverHttps) {
    Store store;
    Response plain = store.get("");
    std::string set = plain.header("Set-Cookie");
    EXPECT_NE(set.find("; HttpOnly; SameSite=Lax"), std::string::npos) << set;
    EXPECT_EQ(set.find("Secure"), std::string::npos) << set;
    Response secure = store.get("", "", {{"HTTPS", "on"}});
    EXPECT_NE(secure.header("Set-Cookie").find("; HttpOnly; SameSite=Lax; Secure"), std::string::npos)
        << secure.header("Set-Cookie");
}
