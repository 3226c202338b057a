// Running outside programs through a one-way pipe, and sending mail by
// piping a complete message into the configured mail program.
#include "platform/commands.h"

#include "cgi/output.h"
#include "config/config.h"
#include "ovml/tokens.h"
#include "vars/prefs.h"
#include "vars/vars.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace {

// Characters that let a command line do more than start one program:
// command separators, redirections, pipes, command substitution, and line
// breaks (a second command on a new line).  NUL would silently cut the
// command short.
constexpr std::string_view FORBIDDEN_SHELL_CHARS{"&;|<>`$\r\n\0", 10};

// Ignores SIGPIPE while alive, so that a child that exits before reading
// all its input turns our writes into errors instead of killing the process.
class IgnoreSigpipe {
public:
    IgnoreSigpipe() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        active_ = ::sigaction(SIGPIPE, &ignore, &saved_) == 0;
    }
    ~IgnoreSigpipe() {
        if (active_) ::sigaction(SIGPIPE, &saved_, nullptr);
    }
    IgnoreSigpipe(const IgnoreSigpipe &) = delete;
    IgnoreSigpipe &operator=(const IgnoreSigpipe &) = delete;

private:
    struct sigaction saved_ {};
    bool active_ = false;
};

// Header names and values come partly from shoppers: a line break would
// add a header line (a Bcc: that "-t" obeys), so CR, LF and NUL become blanks.
std::string one_line(std::string_view s) { return header_safe(s); }

// A body line that is exactly "." ends the message for a sendmail-compatible
// program: it is sent as ". " instead.
std::string guard_dot_lines(std::string body) {
    std::size_t at = 0;
    while (at < body.size()) {
        std::size_t eol = body.find('\n', at);
        std::size_t end = eol == std::string::npos ? body.size() : eol;
        std::size_t content_end = (end > at && body[end - 1] == '\r') ? end - 1 : end;
        if (content_end == at + 1 && body[at] == '.') {
            body.insert(at + 1, 1, ' ');
            ++end;
        }
        if (eol == std::string::npos) break;
        at = end + 1;
    }
    return body;
}

// Starts `argv` with `feed` (when given) on its standard input and hands
// what it prints to `sink`; the exit code (128 + the signal when a signal
// ended it), or nullopt when the program could not be started.
template <class Sink>
std::optional<int> run_program(const std::vector<std::string> &argv, const std::string *feed, Sink &&sink) {
    if (argv.empty()) return std::nullopt;
    int to_child[2] = {-1, -1}, from_child[2], exec_report[2];
    if (::pipe2(from_child, O_CLOEXEC) != 0) return std::nullopt;
    if (::pipe2(exec_report, O_CLOEXEC) != 0 || (feed && ::pipe2(to_child, O_CLOEXEC) != 0)) {
        for (int fd : {from_child[0], from_child[1], exec_report[0], exec_report[1], to_child[0], to_child[1]})
            if (fd >= 0) ::close(fd);
        return std::nullopt;
    }
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (feed) ::dup2(to_child[0], 0);
        ::dup2(from_child[1], 1);
        ::execvp(args[0], args.data());
        const int error = errno;
        ssize_t ignored = ::write(exec_report[1], &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    ::close(from_child[1]);
    ::close(exec_report[1]);
    if (feed) ::close(to_child[0]);
    if (pid < 0) {
        ::close(from_child[0]);
        ::close(exec_report[0]);
        if (feed) ::close(to_child[1]);
        return std::nullopt;
    }
    // The report pipe closes on a successful exec; an error number arrives
    // when the program could not be started.
    int error = 0;
    ssize_t got;
    while ((got = ::read(exec_report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(exec_report[0]);
    const bool started = got != static_cast<ssize_t>(sizeof error);

    // Feeds the input and collects the output together, so that a child
    // that prints while it reads never blocks on a full pipe.
    int in = feed && started ? to_child[1] : -1;
    if (feed && !started) ::close(to_child[1]);
    std::size_t sent = 0;
    if (in >= 0 && feed->empty()) {
        ::close(in);
        in = -1;
    }
    int from = from_child[0];
    char buffer[65536];
    while (from >= 0 || in >= 0) {
        pollfd fds[2];
        nfds_t count = 0;
        if (from >= 0) fds[count++] = {from, POLLIN, 0};
        if (in >= 0) fds[count++] = {in, POLLOUT, 0};
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == from) {
                ssize_t n = ::read(from, buffer, sizeof buffer);
                if (n > 0) sink(std::string_view(buffer, static_cast<std::size_t>(n)));
                else if (n == 0 || errno != EINTR) {
                    ::close(from);
                    from = -1;
                }
            } else {
                ssize_t n = ::write(in, feed->data() + sent, feed->size() - sent);
                if (n > 0) sent += static_cast<std::size_t>(n);
                // Done, or the child stopped reading: either way no more input.
                if (sent == feed->size() || (n < 0 && errno != EINTR && errno != EAGAIN)) {
                    ::close(in);
                    in = -1;
                }
            }
        }
    }
    if (from >= 0) ::close(from);
    if (in >= 0) ::close(in);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return started ? std::optional<int>(-1) : std::nullopt;
    if (!started) return std::nullopt;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

std::optional<std::string> Orvel_cmdline_forbidden(std::string_view command) {
    if (command.find_first_of(FORBIDDEN_SHELL_CHARS) == std::string_view::npos) return std::nullopt;
    if (DICT_TWEAKS && var_boolean(DICT_TWEAKS, "BLESSCMDLINE")) return std::nullopt;
    return "\"" + std::string(command) + "\" contains a forbidden shell character";
}

std::vector<std::string> split_command_line(std::string_view command) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (char c : command) {
        if (quote) {
            if (c == quote) quote = 0;
            else word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

int my_run_command(std::string_view command, const text *input, text *output, bool wrap,
                   int *exit_status) {
    if (exit_status) *exit_status = -1;
    if (std::optional<std::string> refusal = Orvel_cmdline_forbidden(command)) {
        overror("my_run_command: %s", refusal->c_str());
        return -1;
    }
    if (DICT_TWEAKS && var_boolean(DICT_TWEAKS, "NOPIPECOMMENTS")) wrap = false;
    if (wrap) xputs("\n<!--\n");

    // The program runs directly with its arguments: no shell ever reads the
    // command line.
    std::string feed;
    if (!output && input)
        for (const textstring *n = input->first; n; n = n->next)
            if (n->string) feed += n->string;
    IgnoreSigpipe no_sigpipe;
    std::string printed;
    auto sink = [&](std::string_view chunk) {
        if (output) printed.append(chunk);
        else xputs(chunk);
    };
    std::optional<int> status = run_program(split_command_line(command), output ? nullptr : &feed, sink);
    if (output) {
        std::size_t at = 0;
        while (at < printed.size()) {
            std::size_t eol = printed.find('\n', at);
            std::size_t end = eol == std::string::npos ? printed.size() : eol + 1;
            text_addstring(output, dup_cstring(std::string_view(printed).substr(at, end - at)));
            at = end;
        }
    }
    if (wrap) xputs("\n-->\n");
    if (!status) return 1;
    if (exit_status) *exit_status = *status;
    return 0;
}

int my_run_command(std::string_view command, const text *input, text *output, bool wrap) {
    return my_run_command(command, input, output, wrap, nullptr);
}

std::string build_mail_message(var *headers, const text *body, int email_headers) {
    std::string message;
    if (email_headers <= 0) {
        for (var *h = headers ? headers->next : nullptr; h; h = h->next) {
            const std::string_view name = h->name ? std::string_view(h->name) : std::string_view();
            message += one_line(name) + ": " + one_line(value_view(h->value)) + "\n";
        }
        if (email_headers == 0) message += "\n";
    }
    std::string text_body;
    for (const textstring *n = body ? body->first : nullptr; n; n = n->next)
        if (n->string) text_body += n->string;
    message += guard_dot_lines(std::move(text_body));
    return message;
}

int my_send_mail(var *headers, const text *body) {
    const int email_headers = config_integer("EMAIL_HEADERS", 0);
    const std::string message = build_mail_message(headers, body, email_headers);

    const std::string_view mail_path = config_string("MAIL_PATH");
    if (mail_path.empty()) return -1;
    std::string command = ovmlsub(mail_path);
    if (command.find_first_not_of(" \t") == std::string::npos) return -1;
    if (command.find(' ') == std::string::npos) command += " -t";

    text *lines = new_text(dup_cstring(message));
    int exit_status = -1;
    int result = my_run_command(command, lines, nullptr, true, &exit_status);
    free_text(lines);
    if (result == 0 && exit_status != 0) {
        overror("my_send_mail: \"%s\" exited with status %d", command.c_str(), exit_status);
        result = 1;
    }
    return result;
}
