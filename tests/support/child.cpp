#include "support/child.h"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace orvel_test {

ChildResult run_in_child(const std::function<void()> &body) {
    ChildResult result;
    int fds[2];
    if (::pipe(fds) != 0) return result;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return result;
    if (pid == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], 1);
        ::close(fds[1]);
        body();
        std::fflush(nullptr);
        ::_exit(0);
    }
    ::close(fds[1]);
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        result.output.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace orvel_test
