// A small HTTP/1.0 client for end-to-end tests against a server on this
// machine, keeping cookies like a browser.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace orvel_test {

struct HttpResponse {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string header(const std::string &name) const;
};

class HttpClient {
public:
    explicit HttpClient(int port) : port_(port) {}
    // GET of a path ("/cgi-bin/orvel?action=view") or of a full
    // http://127.0.0.1:PORT/... URL; redirects are not followed.
    HttpResponse get(const std::string &path_or_url);
    HttpResponse post(const std::string &path, const std::string &form_body);
    const std::map<std::string, std::string> &cookies() const { return cookies_; }
    // Takes a cookie as if a response had set it (several clients acting
    // as one browser).
    void set_cookie(const std::string &name, const std::string &value) { cookies_[name] = value; }

private:
    HttpResponse request(const std::string &method, const std::string &target, const std::string &body);
    int port_;
    std::map<std::string, std::string> cookies_;
};

// A free TCP port on 127.0.0.1.
int free_local_port();

}  // namespace orvel_test
