// Black-box helpers for end-to-end tests: a throw-away catalog directory
// with a valid orvel.config, and running build/orvel in it as a CGI
// process or from the command line, with the answer split into status,
// headers and body.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace orvel_test {

// A temporary directory removed (with everything in it) on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    // Writes a file below the directory, creating parent directories.
    void write(const std::string &relative, const std::string &contents) const;
    std::string read(const std::string &relative) const;
    bool exists(const std::string &relative) const;

private:
    std::string path_;
};

// A catalog directory laid out like a real store: orvel.config with every
// required field, templates/, docs/ and an index page.
class Catalog : public TempDir {
public:
    Catalog();
    // Appends configuration lines ("NAME: value\n" ...).
    void configure(const std::string &lines) const;
    // Replaces the configuration file entirely.
    void set_config(const std::string &contents) const;
    std::string base_config() const;
};

struct Response;

// A GET request with an optional cookie header ("name=value") and extra
// environment, run in `dir`; a POST of `body` likewise.
Response get_page(const std::string &dir, const std::string &query, const std::string &cookie = "",
                  std::map<std::string, std::string> env = {});
Response post_page(const std::string &dir, const std::string &body, const std::string &cookie = "");
// "name=value" of the response's Set-Cookie header, and the value alone.
std::string cookie_of(const Response &r);
std::string cookie_value(const Response &r);
// The text after "NAME=" in a page, up to the next white space.
std::string page_field(const std::string &body, const std::string &name);

struct Response {
    int exit_status = -1;   // exit code, or 128+signal when killed
    std::string raw;        // everything written to standard output
    std::string status;     // the "Status:" line's value, "" when none
    std::vector<std::pair<std::string, std::string>> headers;  // in order
    std::string body;
    std::string header(const std::string &name) const;  // first, "" when none
};

struct Request {
    std::string method = "GET";
    std::string query;                 // QUERY_STRING (GET) or body (POST)
    std::map<std::string, std::string> env;  // extra environment
    std::vector<std::string> args;     // command-line arguments
    bool cgi = true;                   // set the CGI environment
    int kill_after_ms = -1;            // send kill_signal after this delay
    int kill_signal = 0;
    int timeout_seconds = 30;          // hard limit for the child
    bool hold_stdin = false;           // keep standard input open until the child ends
    bool merge_stderr = false;         // standard error goes into `raw` too
};

// Runs build/orvel in `dir` and collects its answer.
Response run_orvel(const std::string &dir, const Request &request);
Response parse_cgi_output(const std::string &raw);

}  // namespace orvel_test
