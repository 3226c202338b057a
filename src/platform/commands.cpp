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

}  // namespace

std::optional<std::string> Orvel_cmdline_forbidden(std::string_view command) {
    if (command.find_first_of(FORBIDDEN_SHELL_CHARS) == std::string_view::npos) return std::nullopt;
    if (DICT_TWEAKS && var_boolean(DICT_TWEAKS, "BLESSCMDLINE")) return std::nullopt;
    return "\"" + std::string(command) + "\" contains a forbidden shell character";
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
    // Our buffered output must reach the response before the child's.
    std::fflush(nullptr);

    const std::string cmd(command);
    IgnoreSigpipe no_sigpipe;
    FILE *pipe = ::popen(cmd.c_str(), output ? "r" : "w");
    if (!pipe) {
        if (wrap) xputs("\n-->\n");
        return 1;
    }
    if (output) {
        std::string line;
        while (fp_read_line(line, pipe)) text_addstring(output, dup_cstring(line));
    } else if (input) {
        for (const textstring *n = input->first; n; n = n->next) {
            if (!n->string) continue;
            const std::size_t len = std::strlen(n->string);
            if (std::fwrite(n->string, 1, len, pipe) != len) break;  // the child stopped reading
        }
    }
    const int status = ::pclose(pipe);
    if (exit_status) {
        if (status != -1 && WIFEXITED(status)) *exit_status = WEXITSTATUS(status);
        else if (status != -1 && WIFSIGNALED(status)) *exit_status = 128 + WTERMSIG(status);
    }
    if (wrap) xputs("\n-->\n");
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
