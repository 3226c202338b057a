#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orvel_test {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "orvel-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void TempDir::write(const std::string &relative, const std::string &contents) const {
    fs::path p = fs::path(path_) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string TempDir::read(const std::string &relative) const {
    std::ifstream in(fs::path(path_) / relative, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool TempDir::exists(const std::string &relative) const { return fs::exists(fs::path(path_) / relative); }

Catalog::Catalog() {
    set_config(base_config());
    write("templates/error.html", "<title>Error</title><p>ERROR: %OVH_MESSAGE</p>\n");
    write("templates/message.html", "<p>MESSAGE: %OVH_MESSAGE</p>\n");
    write("docs/index.html", "<h1>Welcome to %OVM_STORE_NAME</h1>\n");
    write("rules/field.rules", "# no field is required\n");
    fs::create_directories(fs::path(path()) / "users");
}

std::string Catalog::base_config() const {
    return "ORVEL_NAME: orvel\n"
           "CAT_DIR: " + path() + "\n"
           "CGI_DIR: " + path() + "\n"
           "DOC_DIR: " + path() + "/docs\n"
           "HTTP_CGI_BIN: http://shop.test/cgi-bin/\n"
           "HTTP_DOC_ROOT: http://shop.test/store\n"
           "START_PAGE: index.html\n"
           "MAIL_PATH: /usr/sbin/sendmail\n"
           "STORE_NAME: Corner Shop\n"
           "STORE_PHONE: 555-0100\n"
           "STORE_EMAIL: owner@shop.test\n"
           "STORE_HOMEPAGE: http://shop.test/\n";
}

void Catalog::configure(const std::string &lines) const { set_config(read("orvel.config") + lines); }

void Catalog::set_config(const std::string &contents) const { write("orvel.config", contents); }

Response get_page(const std::string &dir, const std::string &query, const std::string &cookie,
                  std::map<std::string, std::string> env) {
    Request r;
    r.query = query;
    r.env = std::move(env);
    if (!cookie.empty()) r.env["HTTP_COOKIE"] = cookie;
    return run_orvel(dir, r);
}

Response post_page(const std::string &dir, const std::string &body, const std::string &cookie) {
    Request r;
    r.method = "POST";
    r.query = body;
    if (!cookie.empty()) r.env["HTTP_COOKIE"] = cookie;
    return run_orvel(dir, r);
}

std::string cookie_of(const Response &r) {
    std::string set = r.header("Set-Cookie");
    return set.substr(0, set.find(';'));
}

std::string cookie_value(const Response &r) {
    std::string pair = cookie_of(r);
    std::size_t eq = pair.find('=');
    return eq == std::string::npos ? std::string() : pair.substr(eq + 1);
}

std::string page_field(const std::string &body, const std::string &name) {
    std::size_t at = body.find(name + "=");
    if (at == std::string::npos) return "";
    at += name.size() + 1;
    std::size_t end = at;
    while (end < body.size() && !std::isspace(static_cast<unsigned char>(body[end]))) ++end;
    return body.substr(at, end - at);
}

std::string Response::header(const std::string &name) const {
    for (const auto &[n, v] : headers)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
    return {};
}

Response parse_cgi_output(const std::string &raw) {
    Response r;
    r.raw = raw;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find('\n', pos);
        if (end == std::string::npos) end = raw.size();
        std::string line = raw.substr(pos, end - pos);
        pos = end + 1;
        if (line.empty()) break;
        std::size_t colon = line.find(':');
        std::string name = colon == std::string::npos ? line : line.substr(0, colon);
        std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        if (strcasecmp(name.c_str(), "Status") == 0 && r.status.empty()) r.status = value;
        r.headers.emplace_back(name, value);
    }
    r.body = pos < raw.size() ? raw.substr(pos) : "";
    return r;
}

Response run_orvel(const std::string &dir, const Request &request) {
    int in_pipe[2], out_pipe[2];
    // Close-on-exec: a program started from another thread at the same
    // moment must not keep this child's pipes open.
    if (::pipe2(in_pipe, O_CLOEXEC) != 0 || ::pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        if (request.merge_stderr) ::dup2(out_pipe[1], 2);
        ::close(in_pipe[1]);
        ::close(out_pipe[0]);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::clearenv();
        ::setenv("PATH", "/usr/bin:/bin", 1);
        if (request.cgi) {
            ::setenv("REQUEST_METHOD", request.method.c_str(), 1);
            ::setenv("GATEWAY_INTERFACE", "CGI/1.1", 1);
            ::setenv("SERVER_PORT", "80", 1);
            ::setenv("REMOTE_ADDR", "127.0.0.1", 1);
            if (request.method == "POST") {
                ::setenv("CONTENT_TYPE", "application/x-www-form-urlencoded", 1);
                ::setenv("CONTENT_LENGTH", std::to_string(request.query.size()).c_str(), 1);
            } else {
                ::setenv("QUERY_STRING", request.query.c_str(), 1);
            }
        }
        for (const auto &[k, v] : request.env) ::setenv(k.c_str(), v.c_str(), 1);
        std::vector<char *> argv;
        std::string program = ORVEL_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> args = request.args;
        for (std::string &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    if (request.cgi && request.method == "POST") {
        std::string_view body = request.query;
        while (!body.empty()) {
            ssize_t n = ::write(in_pipe[1], body.data(), body.size());
            if (n <= 0) break;
            body.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    if (!request.hold_stdin) ::close(in_pipe[1]);

    std::string raw;
    struct timespec start;
    ::clock_gettime(CLOCK_MONOTONIC, &start);
    bool signalled = false;
    char buf[65536];
    for (;;) {
        struct timespec now;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed_ms = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        if (request.kill_after_ms >= 0 && !signalled && elapsed_ms >= request.kill_after_ms) {
            ::kill(pid, request.kill_signal);
            signalled = true;
        }
        if (elapsed_ms > request.timeout_seconds * 1000L) {
            ::kill(pid, SIGKILL);
            ADD_FAILURE() << "orvel did not finish within " << request.timeout_seconds << " s";
            break;
        }
        struct pollfd p = {out_pipe[0], POLLIN, 0};
        int ready = ::poll(&p, 1, 20);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;
        ssize_t n = ::read(out_pipe[0], buf, sizeof buf);
        if (n <= 0) break;
        raw.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out_pipe[0]);
    if (request.hold_stdin) ::close(in_pipe[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Response r = parse_cgi_output(raw);
    r.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

}  // namespace orvel_test
