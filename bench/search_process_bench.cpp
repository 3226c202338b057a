// Whole-process cost of a SEARCH request on a 10,000-product store against
// a trivial CGI program that prints a fixed page, run alternately so both
// see the same machine load.  Both programs are started by absolute path;
// every run must exit with status 0 and, for the search, show the expected
// number of matches, or the benchmark stops with an error.
// Usage: search_process_bench [ORVEL_PROGRAM [TRIVIAL_PROGRAM [RUNS]]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// One product in a thousand has "zanzibar" in its name.
std::string make_store(const fs::path &dir) {
    std::string products;
    for (int i = 0; i < 10000; ++i) {
        char sku[16];
        std::snprintf(sku, sizeof sku, "P%05d", i);
        products += std::string("SKUID: ") + sku + "\nNAME: Product number " + std::to_string(i) +
                    (i % 1000 == 7 ? " zanzibar" : "") + "\nPRICE: " + std::to_string(5 + i % 50) +
                    ".95\nWEIGHT: 0.5\nGROUP: group" + std::to_string(i % 20) +
                    "\nDESCRIPTION: A fine product, one of ten thousand, with a description long enough to look "
                    "like a real catalog entry.\n\n";
    }
    write(dir / "products.txt", products);
    const std::string head = "<html><head><title>%OVM_STORE_NAME</title></head><body>\n";
    write(dir / "templates/search/matches.html",
          head + "<p>MATCHES %OVE_SEARCH_HISTORY_TOTAL</p><ul><ORVEL_LOOP TYPE=MATCHES>"
                 "<li>%OVI_NAME $%OVI_PRICE</li>\n</ORVEL_LOOP></ul>\n");
    write(dir / "templates/search/failed.html", head + "<p>MATCHES 0</p>\n");
    write(dir / "templates/error.html", head + "%OVH_MESSAGE\n");
    write(dir / "templates/message.html", head + "%OVH_MESSAGE\n");
    write(dir / "docs/index.html", head + "index\n");
    fs::create_directories(dir / "users");
    const std::string d = dir.string();
    write(dir / "orvel.config", "ORVEL_NAME: orvel\nCAT_DIR: " + d + "\nCGI_DIR: " + d + "\nDOC_DIR: " + d +
                                    "/docs\nHTTP_CGI_BIN: http://127.0.0.1/cgi-bin\nHTTP_DOC_ROOT: "
                                    "http://127.0.0.1/store\nSTART_PAGE: index.html\nMAIL_PATH: /bin/true\n"
                                    "STORE_NAME: Bench\nSTORE_PHONE: 1\nSTORE_EMAIL: a@b.test\n"
                                    "STORE_HOMEPAGE: http://127.0.0.1/\nDEFAULT_SEARCH_MAXHITS: 10\n");
    return d;
}

struct Answer {
    double micros;
    std::string text;
};

// Runs `program` (an absolute path) once as a CGI GET request in `dir`;
// stops the benchmark unless it exits with status 0.
Answer run_once(const std::string &program, const std::string &dir, const std::string &query,
                const std::string &cookie) {
    int out[2];
    if (::pipe(out) != 0) std::exit(1);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
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
    Answer answer;
    char buf[65536];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) answer.text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    answer.micros = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "search_process_bench: %s failed (status %d) for %s\n%s\n", program.c_str(), status,
                     query.c_str(), answer.text.c_str());
        std::exit(1);
    }
    return answer;
}

std::string absolute(const std::string &path) {
    std::error_code ec;
    const fs::path p = fs::canonical(path, ec);
    if (ec) {
        std::fprintf(stderr, "search_process_bench: no program %s\n", path.c_str());
        std::exit(1);
    }
    return p.string();
}

}  // namespace

int main(int argc, char **argv) {
    const std::string exe = fs::canonical("/proc/self/exe").parent_path().string();
    const std::string orvel = absolute(argc > 1 ? argv[1] : exe + "/../orvel");
    const std::string trivial = absolute(argc > 2 ? argv[2] : exe + "/trivial_cgi");
    const int runs = argc > 3 ? std::atoi(argv[3]) : 200;
    const fs::path dir = fs::temp_directory_path() / ("orvel-search-bench-" + std::to_string(::getpid()));
    const std::string store = make_store(dir);

    // A returning shopper: the first request makes the session.
    const Answer first = run_once(orvel, store, "action=serve&item=index.html", "");
    const std::size_t c = first.text.find("orvelcookie=");
    const std::string cookie = c == std::string::npos ? "" : first.text.substr(c, first.text.find(';', c) - c);

    struct Case {
        const char *name;
        std::string query;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"SEARCH rare term", "action=search&search_spec=zanzibar", "MATCHES 10<"},
        {"SEARCH common term", "action=search&search_spec=product", "MATCHES 10000<"},
        {"SEARCH next page", "action=search_next", "MATCHES 10000<"},
    };
    std::printf("%d runs each, 10,000-product store (%.1f MB), alternating with a trivial CGI program\n", runs,
                static_cast<double>(fs::file_size(dir / "products.txt")) / 1e6);
    for (const Case &k : cases) {
        double ours = 0, floor = 0;
        for (int i = 0; i < runs; ++i) {
            const Answer a = run_once(orvel, store, k.query, cookie);
            if (a.text.find(k.expected) == std::string::npos) {
                std::fprintf(stderr, "search_process_bench: %s did not show %s\n%s\n", k.name, k.expected,
                             a.text.c_str());
                std::exit(1);
            }
            ours += a.micros;
            floor += run_once(trivial, store, k.query, cookie).micros;
        }
        std::printf("%-20s orvel %8.0f us   trivial %8.0f us   ratio %.2f\n", k.name, ours / runs, floor / runs,
                    ours / floor);
    }
    fs::remove_all(dir);
    return 0;
}
