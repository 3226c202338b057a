// Whole-process cost of the browsing actions on a 10,000-product store,
// measured against a trivial CGI program that prints a fixed page (the
// floor), run alternately so both see the same machine load.
// Usage: process_bench [ORVEL_PROGRAM [TRIVIAL_PROGRAM [RUNS]]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

void write(const fs::path &p, const std::string &s) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << s;
}

std::string make_store(const fs::path &dir) {
    std::string products;
    for (int i = 0; i < 10000; ++i) {
        char sku[16];
        std::snprintf(sku, sizeof sku, "P%05d", i);
        products += std::string("SKUID: ") + sku + "\nNAME: Product number " + std::to_string(i) +
                    "\nPRICE: " + std::to_string(5 + i % 50) + ".95\nWEIGHT: 0.5\nGROUP: group" +
                    std::to_string(i % 20) + "\nDESCRIPTION: A fine product, one of ten thousand, with a "
                    "description long enough to look like a real catalog entry.\n\n";
    }
    write(dir / "products.txt", products);
    std::string head = "<html><head><title>%OVM_STORE_NAME</title></head><body>\n";
    write(dir / "templates/detail.html", head + "<h1>%OVI_NAME</h1><p>%OVI_DESCRIPTION</p><p>$%OVI_PRICE</p>\n");
    write(dir / "templates/view.html",
          head + "<table><ORVEL_LOOP TYPE=SELECTED><tr><td>%OVI_NAME</td><td>%OVI_PRICE</td>"
                 "<td><input ORVEL_PRODUCT=%OVI_SKUID></td></tr>\n</ORVEL_LOOP></table>\n");
    write(dir / "templates/empty.html", head + "empty\n");
    write(dir / "templates/error.html", head + "%OVH_MESSAGE\n");
    write(dir / "templates/message.html", head + "%OVH_MESSAGE\n");
    write(dir / "rules/field.rules", "[ALL]\n");
    write(dir / "docs/index.html",
          head + "<ORVEL_LOOP TYPE=PRODUCTS SRC=\"P00010;P02500;P05000;P07500;P09990;P09999\">"
                 "<p>%OVI_NAME $%OVI_PRICE</p>\n</ORVEL_LOOP>\n");
    fs::create_directories(dir / "users");
    std::string d = dir.string();
    write(dir / "orvel.config", "ORVEL_NAME: orvel\nCAT_DIR: " + d + "\nCGI_DIR: " + d + "\nDOC_DIR: " + d +
                                    "/docs\nHTTP_CGI_BIN: http://127.0.0.1/cgi-bin\nHTTP_DOC_ROOT: "
                                    "http://127.0.0.1/store\nSTART_PAGE: index.html\nMAIL_PATH: /bin/true\n"
                                    "STORE_NAME: Bench\nSTORE_PHONE: 1\nSTORE_EMAIL: a@b.test\n"
                                    "STORE_HOMEPAGE: http://127.0.0.1/\n");
    return d;
}

// Runs the program once as a CGI request and returns the wall time in
// microseconds; the answer goes to `answer` when given.
double run_once(const std::string &program, const std::string &dir, const std::string &query,
                const std::string &cookie, std::string *answer = nullptr) {
    int out[2];
    if (::pipe(out) != 0) std::exit(1);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::setenv("REQUEST_METHOD", "GET", 1);
        ::setenv("QUERY_STRING", query.c_str(), 1);
        ::setenv("SERVER_PORT", "80", 1);
        ::setenv("REMOTE_ADDR", "127.0.0.1", 1);
        if (!cookie.empty()) ::setenv("HTTP_COOKIE", cookie.c_str(), 1);
        ::execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[65536];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    auto end = std::chrono::steady_clock::now();
    if (answer) *answer = text;
    return std::chrono::duration<double, std::micro>(end - start).count();
}

}  // namespace

int main(int argc, char **argv) {
    std::string exe = fs::canonical("/proc/self/exe").parent_path().string();
    std::string orvel = argc > 1 ? argv[1] : exe + "/../orvel";
    std::string trivial = argc > 2 ? argv[2] : exe + "/trivial_cgi";
    int runs = argc > 3 ? std::atoi(argv[3]) : 200;
    fs::path dir = fs::temp_directory_path() / ("orvel-bench-" + std::to_string(::getpid()));
    std::string store = make_store(dir);

    // A shopper with two products in the cart, for VIEW.
    std::string answer;
    run_once(orvel, store, "product_P00042=1&product_P09000=2", "", &answer);
    std::size_t c = answer.find("orvelcookie=");
    std::string cookie = c == std::string::npos ? "" : answer.substr(c, answer.find(';', c) - c);

    struct Case {
        const char *name;
        std::string query;
        std::string cookie;
    };
    std::vector<Case> cases = {{"SERVE", "action=serve&item=index.html", cookie},
                               {"DETAIL", "action=detail&item=P09876", cookie},
                               {"ADD", "action=add&item=P05555", ""},
                               {"VIEW", "action=view", cookie}};
    std::printf("%d runs each, 10,000-product store, alternating with a trivial CGI program\n", runs);
    for (const Case &k : cases) {
        double ours = 0, floor = 0;
        for (int i = 0; i < runs; ++i) {
            ours += run_once(orvel, store, k.query, k.cookie);
            floor += run_once(trivial, store, k.query, k.cookie);
        }
        std::printf("%-7s orvel %8.0f us   trivial %8.0f us   ratio %.2f\n", k.name, ours / runs, floor / runs,
                    ours / floor);
    }
    if (!std::getenv("ORVEL_BENCH_KEEP")) fs::remove_all(dir);
    else std::printf("store kept in %s\n", dir.c_str());
    return 0;
}
