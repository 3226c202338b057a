// Helpers for the in-process CGI tests: a clean CGI environment, standard
// input fed from a pipe by a writer thread, and capturing what a fatal
// error prints in a death-test child.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace orvel_test {

// Saves the CGI variables, clears them, and restores them afterwards.
class CgiEnvironment {
public:
    CgiEnvironment() {
        for (const char *name : kNames) {
            const char *v = std::getenv(name);
            if (v) saved_[name] = v;
            ::unsetenv(name);
        }
    }
    ~CgiEnvironment() {
        for (const char *name : kNames) {
            auto it = saved_.find(name);
            if (it == saved_.end()) ::unsetenv(name);
            else ::setenv(name, it->second.c_str(), 1);
        }
    }
    CgiEnvironment(const CgiEnvironment &) = delete;
    CgiEnvironment &operator=(const CgiEnvironment &) = delete;

    static void set(const char *name, const std::string &value) { ::setenv(name, value.c_str(), 1); }
    static void unset(const char *name) { ::unsetenv(name); }

private:
    static constexpr const char *kNames[] = {"REQUEST_METHOD", "QUERY_STRING", "CONTENT_LENGTH", "HTTP_COOKIE"};
    std::map<std::string, std::string> saved_;
};

// Replaces standard input with a pipe; a thread writes `data` into it in
// pieces of `piece` bytes and then closes it.  The pipe holds far less than
// a large body, so the reader sees the data arrive over many reads.
class PipedStdin {
public:
    explicit PipedStdin(std::string data, std::size_t piece = 4096) : data_(std::move(data)) {
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
        saved_ = ::dup(0);
        ::dup2(fds[0], 0);
        ::close(fds[0]);
        int out = fds[1];
        writer_ = std::thread([this, out, piece] {
            std::size_t pos = 0;
            while (pos < data_.size()) {
                std::size_t n = std::min(piece, data_.size() - pos);
                ssize_t w = ::write(out, data_.data() + pos, n);
                if (w <= 0) break;
                pos += static_cast<std::size_t>(w);
            }
            ::close(out);
        });
    }
    ~PipedStdin() {
        // Drain what the reader left so the writer can finish.
        char buf[4096];
        while (::read(0, buf, sizeof buf) > 0) {}
        writer_.join();
        ::dup2(saved_, 0);
        ::close(saved_);
    }
    // Everything still unread on standard input (waits for the writer).
    static std::string rest() {
        std::string out;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(0, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
        return out;
    }

private:
    std::string data_;
    int saved_ = -1;
    std::thread writer_;
};

// In a death-test child: sends standard output to `path`, so the parent
// can read the page the child printed before it exited.
inline void stdout_to(const std::string &path) {
    std::fflush(stdout);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
        ::dup2(fd, 1);
        ::close(fd);
    }
}

}  // namespace orvel_test
