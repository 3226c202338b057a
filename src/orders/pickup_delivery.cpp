// Delivering a purchased download: the PICKUP action checks the id against
// the registry and either sends the shopper to the file's own address or
// streams the file out of the catalog's "softgoods" directory.
#include "orders/pickups.h"

#include "cgi/cookies_mime.h"
#include "cgi/output.h"
#include "config/config.h"
#include "core/actions.h"
#include "core/lifecycle.h"
#include "platform/errors.h"
#include "strings/strutil.h"
#include "vars/vars.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A path for a URL: unreserved characters and "/" as they are, every other
// byte "%XX".
std::string url_path(std::string_view path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::optional<std::string> real_path(const std::string &path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
}

bool write_out(const char *data, std::size_t size) { return std::fwrite(data, 1, size, stdout) == size; }

[[noreturn]] void refuse_file_name(const std::string &file) {
    croak_custom_message("PICKUP_CORRUPT_ID", "error",
                         "The filename requested (\"%fn\") contains information which places it outside of the "
                         "softgoods directory.  Contact the merchant at %OVM_STORE_EMAIL to report this error.",
                         true, {{"%fn", quote_html_specials(file)}});
}

}  // namespace

long long deliver_file(const std::string &path, std::string_view download_name) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? -1 : -2;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -2;
    }
    // The file is open before anything is sent: a failure can still be
    // answered with a proper page.
    const long long size = st.st_size;
    std::string head = "Content-Type: " + get_mime_type(path) + "\n";
    if (!download_name.empty()) head += "Content-Disposition: attachment; filename=" + header_safe(download_name) + "\n";
    head += "Content-Length: " + std::to_string(size) + "\n\n";
    // A download ends the request without a session save: it streams
    // straight out instead of being held in memory.
    release_held_output();
    write_out(head.data(), head.size());
    std::fflush(stdout);

    // Exactly the announced length, even if the file changes meanwhile.
    char chunk[65536];
    long long left = size;
    while (left > 0) {
        const ssize_t n = ::read(fd, chunk, static_cast<std::size_t>(std::min<long long>(left, sizeof chunk)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || !write_out(chunk, static_cast<std::size_t>(n))) break;  // shortened, or the shopper left
        left -= n;
    }
    ::close(fd);
    std::fflush(stdout);
    return size;
}

long long pickup_file(std::string_view file, bool inline_style) {
    const std::string dir = std::string(config_string("CAT_DIR")) + "/softgoods";
    const std::optional<std::string> real_dir = real_path(dir);
    const std::optional<std::string> real = real_path(dir + "/" + std::string(file));
    if (!real || !real_dir) return -2;
    if (!strbeg(*real, *real_dir + "/")) return -3;
    std::string_view name;
    if (!inline_style) {
        std::size_t cut = file.rfind('/');
        if (cut == npos) cut = file.rfind('\\');
        name = cut == npos ? file : file.substr(cut + 1);
    }
    return deliver_file(*real, name);
}

void actionPICKUP(bool deliver) {
    const int off = 0;
    set_alarm(&off);  // a long download must not be cut short
    const std::string id(var_string(DICT_SHOPPER, "ITEM"));
    if (id.empty())
        croak_custom_message("PICKUP_MISSING_ID", "error",
                             "No file-id was given for the pickup.  You should use the URL given to you in your "
                             "order confirmation e-mail.",
                             true);
    const std::optional<pickup> p = verify_pickup(id);
    if (!p)
        croak_custom_message(
            "PICKUP_INVALID_ID", "error",
            "The file-id \"%id\" is not available for pickup.  You may have mistyped it, or it may have expired.  "
            "Be sure to use the URL exactly as it appeared in your e-mail.  Please call customer support at "
            "%OVM_STORE_PHONE if you are having problems downloading ordered merchandise.",
            true, {{"%id", quote_html_specials(id)}});
    if (!is_safe_softgoods_name(p->file)) refuse_file_name(p->file);

    if (!deliver) {
        print_redirection(std::string(var_string(DICT_URL, "MAIN")) + "/pickups/" + url_path(p->id) + "/" +
                          url_path(p->file));
        return;
    }
    const long long sent = pickup_file(p->file, p->inline_style);
    if (sent >= 0) {
        purge_pickups();
        my_exit(0);
    }
    if (sent == -3) refuse_file_name(p->file);
    const std::string shown = quote_html_specials(p->file);
    if (sent == -2)
        croak_custom_message("PICKUP_SIZE_FAILED", "error",
                             "Failed to determine the size of \"%fn\".  It should exist as a readable file in the "
                             "merchant's softgoods directory.  Contact the merchant at %OVM_STORE_EMAIL to report "
                             "this error.",
                             true, {{"%fn", shown}});
    croak_custom_message("PICKUP_OPEN_FAILED", "error",
                         "Failed to open \"%fn\".  It should exist as a readable file in the merchant's softgoods "
                         "directory.  Contact the merchant at %OVM_STORE_EMAIL to report this error.",
                         true, {{"%fn", shown}});
}
