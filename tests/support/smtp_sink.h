// A minimal SMTP server for tests: listens on 127.0.0.1 on a free port,
// accepts one connection at a time on a background thread, speaks just
// enough SMTP for a sendmail-compatible client (greeting, EHLO/HELO, MAIL
// FROM, RCPT TO, DATA, RSET, NOOP, QUIT) and records every message.  Also
// a parser that splits a recorded message into unfolded headers and body.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orvel_test {

struct SmtpMessage {
    std::string sender;                   // MAIL FROM address, brackets removed
    std::vector<std::string> recipients;  // RCPT TO addresses, in order
    std::string data;                     // the DATA text, dots unstuffed, CRLF kept
};

class SmtpSink {
public:
    SmtpSink();   // listening when port() > 0
    ~SmtpSink();  // stops the thread
    SmtpSink(const SmtpSink &) = delete;
    SmtpSink &operator=(const SmtpSink &) = delete;

    int port() const { return port_; }
    std::vector<SmtpMessage> messages() const;
    void stop();

private:
    void serve();
    void session(int fd);

    int listen_fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<SmtpMessage> messages_;
    std::thread thread_;
};

// A message split at its first empty line; header lines that begin with
// blank or tab are joined to the one before (unfolding).
struct ParsedMail {
    std::vector<std::pair<std::string, std::string>> headers;  // name, trimmed value
    std::string body;                                          // line ends as LF
    // Every value of the header (name compared ignoring case).
    std::vector<std::string> all(const std::string &name) const;
    // The first value, "" when none.
    std::string header(const std::string &name) const;
};
ParsedMail parse_mail(const std::string &data);

// Writes an msmtp configuration into `dir` that delivers to the sink on
// `port`, and returns the MAIL_PATH that uses it.
std::string msmtp_mail_path(const std::string &dir, int port);

}  // namespace orvel_test
