// Whole-process cost of finishing an order on a 10,000-product store: the
// FINISH request records the order file, registers a download, prints the
// receipt and mails both invoices through msmtp to a local SMTP sink
// (aiosmtpd writing a maildir).  Measured against a trivial CGI program
// that prints a fixed page, run alternately so both see the same load.
// Every timed FINISH is checked: exit status 0, a receipt naming a new
// order, its order file; at the end the sink must hold two mails per order.
// Usage: finish_bench [ORVEL_PROGRAM [TRIVIAL_PROGRAM [RUNS]]]
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/socket.h>
#include <netinet/in.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string &why) {
    std::fprintf(stderr, "finish_bench: %s\n", why.c_str());
    std::exit(1);
}

void put(const fs::path &p, const std::string &s) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << s;
}

// A free port on 127.0.0.1.
int free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        fail("no free port");
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool port_answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

std::string make_store(const fs::path &dir, int smtp_port) {
    std::string products;
    for (int i = 0; i < 10000; ++i) {
        char sku[16];
        std::snprintf(sku, sizeof sku, "P%05d", i);
        products += std::string("SKUID: ") + sku + "\nNAME: Product number " + std::to_string(i) + "\nPRICE: " +
                    std::to_string(5 + i % 50) + ".95\nWEIGHT: 0.5\nGROUP: group" + std::to_string(i % 20) +
                    (i == 7777 ? "\nPICKUP_FN: manual.pdf" : "") + "\nDESCRIPTION: One of ten thousand.\n\n";
    }
    put(dir / "products.txt", products);
    put(dir / "softgoods/manual.pdf", "%PDF manual\n");
    put(dir / "rules/field.rules", "[CONFIRM]\nBILL_NAME : +your name\nBILL_EMAIL : +your e-mail address\n");
    put(dir / "templates/error.html", "ERROR %OVH_MESSAGE\n");
    put(dir / "templates/message.html", "MESSAGE %OVH_MESSAGE\n");
    put(dir / "templates/empty.html", "EMPTY\n");
    put(dir / "templates/view.html", "VIEW\n");
    put(dir / "templates/receipt.html",
        "RECEIPT %OVE_ORDER_ID\n<ORVEL_LOOP TYPE=SELECTED>%OVI_NAME x %OVI_QUANTITY $%OVI_TOTAL_PRICE\n"
        "</ORVEL_LOOP>Total $%OVS_TOTAL_PRICE\n<ORVEL_LOOP TYPE=PICKUPS>%OVU_MAIN/pickups/%OVI_PICKUP_ID/"
        "%OVI_PICKUP_FN\n</ORVEL_LOOP>");
    const std::string lines = "<ORVEL_LOOP TYPE=SELECTED>%OVI_QUANTITY x %OVI_NAME $%OVI_TOTAL_PRICE\n</ORVEL_LOOP>"
                              "Total: $%OVS_TOTAL_PRICE\n";
    put(dir / "templates/order_format.txt", "Order %OVE_ORDER_ID for %OVE_BILL_NAME\n" + lines);
    put(dir / "templates/store_invoice.txt", "New order %OVE_ORDER_ID\n" + lines);
    put(dir / "templates/shopper_invoice.txt", "Thank you for order %OVE_ORDER_ID\n" + lines);
    put(dir / "docs/index.html", "index\n");
    put(dir / "msmtprc", "defaults\nauth off\ntls off\nlogfile\ntimeout 10\naccount default\nhost 127.0.0.1\nport " +
                             std::to_string(smtp_port) + "\nfrom bench@shop.test\n");
    fs::permissions(dir / "msmtprc", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(dir / "users");
    fs::create_directories(dir / "orders");
    const std::string d = dir.string();
    put(dir / "orvel.config", "ORVEL_NAME: orvel\nCAT_DIR: " + d + "\nCGI_DIR: " + d + "\nDOC_DIR: " + d +
                                  "/docs\nHTTP_CGI_BIN: http://127.0.0.1/cgi-bin\nHTTP_DOC_ROOT: "
                                  "http://127.0.0.1/store\nSTART_PAGE: index.html\nMAIL_PATH: msmtp -C " + d +
                                  "/msmtprc -t\nSTORE_NAME: Bench\nSTORE_PHONE: 1\nSTORE_EMAIL: store@shop.test\n"
                                  "STORE_HOMEPAGE: http://127.0.0.1/\nORDER_RECIPIENTS: orders@shop.test\n"
                                  "MAIL_SHOPPER: 1\nORDER_ID_FORMAT: B%OVH_ORDER_SEQ\n");
    return d;
}

struct Run {
    int status = -1;
    std::string answer;
    double micros = 0;
};

Run run_once(const std::string &program, const std::string &dir, const std::string &query, const std::string &cookie) {
    int out[2];
    if (::pipe(out) != 0) fail("pipe");
    Run run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
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
    char buf[65536];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) run.answer.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.micros = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::string cookie_of(const std::string &answer) {
    const std::size_t c = answer.find("orvelcookie=");
    return c == std::string::npos ? "" : answer.substr(c, answer.find(';', c) - c);
}

std::size_t count_files(const fs::path &dir) {
    std::size_t n = 0;
    if (fs::exists(dir))
        for (const auto &entry : fs::directory_iterator(dir)) n += entry.is_regular_file() ? 1 : 0;
    return n;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string exe = fs::canonical("/proc/self/exe").parent_path().string();
    const std::string orvel = argc > 1 ? argv[1] : exe + "/../orvel";
    const std::string trivial = argc > 2 ? argv[2] : exe + "/trivial_cgi";
    const int runs = argc > 3 ? std::atoi(argv[3]) : 40;
    if (std::system("command -v msmtp >/dev/null") != 0) fail("needs msmtp (Debian package msmtp)");
    if (std::system("/usr/bin/python3 -c 'import aiosmtpd' 2>/dev/null") != 0)
        fail("needs the SMTP sink aiosmtpd (Debian package python3-aiosmtpd)");

    const fs::path dir = fs::temp_directory_path() / ("orvel-finish-bench-" + std::to_string(::getpid()));
    const int smtp_port = free_port();
    const std::string store = make_store(dir, smtp_port);
    const fs::path maildir = dir / "mail";
    const pid_t sink = ::fork();
    if (sink == 0) {
        const std::string listen = "127.0.0.1:" + std::to_string(smtp_port);
        ::execl("/usr/bin/python3", "python3", "-m", "aiosmtpd", "-n", "-l", listen.c_str(), "-c",
                "aiosmtpd.handlers.Mailbox", maildir.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 100 && !port_answers(smtp_port); ++i) ::usleep(50000);
    if (!port_answers(smtp_port)) fail("the SMTP sink did not start");

    double ours = 0, floor = 0;
    std::set<std::string> ids;
    for (int i = 0; i < runs; ++i) {
        // A new shopper with three products (one a download), not timed.
        const Run add = run_once(orvel, store,
                                 "product_P00042=1&product_P07777=1&product_P09000=2&bill_name=Ann&"
                                 "bill_email=ann%40buyer.test&action=view",
                                 "");
        const std::string cookie = cookie_of(add.answer);
        if (add.status != 0 || cookie.empty()) fail("setting up a shopper failed:\n" + add.answer);

        const Run finish = run_once(orvel, store, "action=finish", cookie);
        const std::size_t at = finish.answer.find("RECEIPT B");
        if (finish.status != 0 || at == std::string::npos) fail("FINISH failed:\n" + finish.answer);
        const std::string id = finish.answer.substr(at + 8, finish.answer.find('\n', at) - at - 8);
        if (!ids.insert(id).second) fail("order id " + id + " issued twice");
        if (finish.answer.find("Total $92.80") == std::string::npos || finish.answer.find("/pickups/") == std::string::npos)
            fail("the receipt is not the order's:\n" + finish.answer);
        if (!fs::exists(dir / "orders" / (id + ".txt"))) fail("no order file for " + id);
        ours += finish.micros;

        const Run floor_run = run_once(trivial, store, "action=finish", cookie);
        if (floor_run.status != 0 || floor_run.answer.empty()) fail("the trivial CGI program failed");
        floor += floor_run.micros;
    }
    // msmtp hands each mail over before FINISH ends, so all are there.
    const std::size_t mails = count_files(maildir / "new");
    ::kill(sink, SIGTERM);
    ::waitpid(sink, nullptr, 0);
    if (mails != static_cast<std::size_t>(2 * runs))
        fail("the sink holds " + std::to_string(mails) + " mails, expected " + std::to_string(2 * runs));

    std::printf("%d orders, 10,000-product store, each mailed twice through msmtp to a local SMTP sink\n", runs);
    std::printf("FINISH  orvel %8.0f us   trivial %8.0f us   ratio %.2f\n", ours / runs, floor / runs, ours / floor);
    if (!std::getenv("ORVEL_BENCH_KEEP")) fs::remove_all(dir);
    else std::printf("store kept in %s\n", dir.c_str());
    return 0;
}
