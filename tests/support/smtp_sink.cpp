#include "support/smtp_sink.h"

#include <arpa/inet.h>
#include <fstream>
#include <sys/stat.h>
#include <cctype>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvel_test {

namespace {

// Reads CRLF- (or LF-) terminated lines from a socket.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    // One line without its line end; false when the peer closed or timed out.
    bool next(std::string &line) {
        for (;;) {
            std::size_t eol = buf_.find('\n');
            if (eol != std::string::npos) {
                line = buf_.substr(0, eol);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                buf_.erase(0, eol + 1);
                return true;
            }
            char chunk[4096];
            ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            buf_.append(chunk, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_;
    std::string buf_;
};

void reply(int fd, const std::string &text) {
    std::string out = text + "\r\n";
    (void)::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
}

bool starts_with_ci(const std::string &s, const char *prefix) {
    return ::strncasecmp(s.c_str(), prefix, std::char_traits<char>::length(prefix)) == 0;
}

// The address in "MAIL FROM:<a@b> SIZE=1" or "RCPT TO: <a@b>".
std::string address_of(const std::string &line) {
    std::size_t lt = line.find('<'), gt = line.find('>', lt == std::string::npos ? 0 : lt);
    if (lt != std::string::npos && gt != std::string::npos) return line.substr(lt + 1, gt - lt - 1);
    std::size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(colon + 1);
}

std::string trim(const std::string &s) {
    std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

SmtpSink::SmtpSink() {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;  // the system picks a free port
    socklen_t len = sizeof addr;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        // Room for every mail program of a test that finishes many orders at
        // once: a full queue leaves a client waiting for a greeting.
        ::listen(listen_fd_, 128) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        ::close(listen_fd_);
        listen_fd_ = -1;
        return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
}

SmtpSink::~SmtpSink() { stop(); }

void SmtpSink::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_fd_ >= 0) ::close(listen_fd_);
    listen_fd_ = -1;
}

std::vector<SmtpMessage> SmtpSink::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void SmtpSink::serve() {
    while (!stopping_) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;  // wake up regularly to see stop()
        int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        timeval timeout{5, 0};  // a silent client cannot hold the sink forever
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        session(fd);
        ::close(fd);
    }
}

void SmtpSink::session(int fd) {
    LineReader in(fd);
    SmtpMessage current;
    std::string line;
    reply(fd, "220 sink.test ESMTP");
    while (!stopping_ && in.next(line)) {
        if (starts_with_ci(line, "EHLO") || starts_with_ci(line, "HELO")) {
            reply(fd, "250 sink.test");
        } else if (starts_with_ci(line, "MAIL FROM:")) {
            current = SmtpMessage{};
            current.sender = address_of(line);
            reply(fd, "250 OK");
        } else if (starts_with_ci(line, "RCPT TO:")) {
            current.recipients.push_back(address_of(line));
            reply(fd, "250 OK");
        } else if (starts_with_ci(line, "DATA")) {
            reply(fd, "354 End data with <CR><LF>.<CR><LF>");
            bool complete = false;
            while (in.next(line)) {
                if (line == ".") {
                    complete = true;
                    break;
                }
                if (!line.empty() && line[0] == '.') line.erase(0, 1);  // dot-unstuffing
                current.data += line + "\r\n";
            }
            if (!complete) return;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                messages_.push_back(current);
            }
            current = SmtpMessage{};
            reply(fd, "250 OK queued");
        } else if (starts_with_ci(line, "RSET")) {
            current = SmtpMessage{};
            reply(fd, "250 OK");
        } else if (starts_with_ci(line, "NOOP")) {
            reply(fd, "250 OK");
        } else if (starts_with_ci(line, "QUIT")) {
            reply(fd, "221 Bye");
            return;
        } else {
            reply(fd, "502 Command not implemented");
        }
    }
}

ParsedMail parse_mail(const std::string &data) {
    ParsedMail mail;
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < data.size()) {
        std::size_t eol = data.find('\n', at);
        std::size_t end = eol == std::string::npos ? data.size() : eol;
        std::string line = data.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        at = eol == std::string::npos ? data.size() : eol + 1;
    }
    std::size_t i = 0;
    std::vector<std::string> unfolded;
    for (; i < lines.size() && !lines[i].empty(); ++i) {
        if ((lines[i][0] == ' ' || lines[i][0] == '\t') && !unfolded.empty()) unfolded.back() += " " + trim(lines[i]);
        else unfolded.push_back(lines[i]);
    }
    for (const std::string &h : unfolded) {
        std::size_t colon = h.find(':');
        if (colon == std::string::npos) continue;
        mail.headers.emplace_back(trim(h.substr(0, colon)), trim(h.substr(colon + 1)));
    }
    for (++i; i < lines.size(); ++i) mail.body += lines[i] + "\n";
    return mail;
}

std::vector<std::string> ParsedMail::all(const std::string &name) const {
    std::vector<std::string> values;
    for (const auto &[n, v] : headers)
        if (::strcasecmp(n.c_str(), name.c_str()) == 0) values.push_back(v);
    return values;
}

std::string ParsedMail::header(const std::string &name) const {
    std::vector<std::string> values = all(name);
    return values.empty() ? std::string() : values.front();
}

std::string msmtp_mail_path(const std::string &dir, int port) {
    const std::string config = dir + "/msmtprc";
    // The timeout: a mail program left running by a killed request must
    // not wait for ever on a sink that has gone.
    std::ofstream(config) << "defaults\nauth off\ntls off\nlogfile\ntimeout 10\naccount default\nhost 127.0.0.1\nport " << port
                          << "\nfrom envelope@shop.test\n";
    ::chmod(config.c_str(), 0600);  // msmtp refuses a configuration others may read
    return "msmtp -C " + config + " -t";
}

}  // namespace orvel_test
