#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvel_test {

std::string HttpResponse::header(const std::string &name) const {
    for (const auto &[n, v] : headers)
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
    return {};
}

int free_local_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("no free port");
    }
    int port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

HttpResponse HttpClient::get(const std::string &path_or_url) { return request("GET", path_or_url, ""); }

HttpResponse HttpClient::post(const std::string &path, const std::string &form_body) {
    return request("POST", path, form_body);
}

HttpResponse HttpClient::request(const std::string &method, const std::string &target, const std::string &body) {
    std::string path = target;
    if (path.rfind("http://", 0) == 0) path = path.substr(path.find('/', 7));
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot connect to port " + std::to_string(port_));
    }
    std::string req = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    if (!cookies_.empty()) {
        req += "Cookie: ";
        bool first = true;
        for (const auto &[k, v] : cookies_) {
            req += (first ? "" : "; ") + k + "=" + v;
            first = false;
        }
        req += "\r\n";
    }
    if (method == "POST")
        req += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\n";
    req += "\r\n" + body;
    for (std::size_t sent = 0; sent < req.size();) {
        ssize_t n = ::send(fd, req.data() + sent, req.size() - sent, 0);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string raw;
    char buf[65536];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) raw.append(buf, static_cast<std::size_t>(n));
    ::close(fd);

    HttpResponse r;
    std::size_t end = raw.find("\r\n\r\n");
    std::string head = raw.substr(0, end);
    r.body = end == std::string::npos ? "" : raw.substr(end + 4);
    std::size_t pos = head.find("\r\n");
    std::string status_line = head.substr(0, pos);
    if (status_line.size() > 12) r.status = std::stoi(status_line.substr(9, 3));
    while (pos != std::string::npos && pos < head.size()) {
        std::size_t next = head.find("\r\n", pos + 2);
        std::string line = head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
        pos = next;
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon), value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.erase(0, 1);
        r.headers.emplace_back(name, value);
        if (strcasecmp(name.c_str(), "Set-Cookie") == 0) {
            std::string pair = value.substr(0, value.find(';'));
            std::size_t eq = pair.find('=');
            if (eq != std::string::npos) cookies_[pair.substr(0, eq)] = pair.substr(eq + 1);
        }
    }
    return r;
}

}  // namespace orvel_test
