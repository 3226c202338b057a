#include "session/identity_key.h"

#include "config/config.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/hmac_sha256.h"
#include "platform/log.h"
#include "strings/random.h"
#include "strings/strutil.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::size_t KEY_BYTES = 32;
constexpr std::size_t MAC_DIGITS = 64;

std::optional<std::optional<std::string>> cached;

std::string key_path() { return std::string(config_string("CAT_DIR")) + "/identity.key"; }

// Reads exactly KEY_BYTES from `path`: the key, nullopt when the file is
// missing (errno ENOENT) or malformed.
std::optional<std::string> read_key(const std::string &path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string key(KEY_BYTES + 1, '\0');
    std::size_t got = 0;
    while (got < key.size()) {
        ssize_t n = ::read(fd, key.data() + got, key.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != KEY_BYTES) {
        overror("identity key %s is malformed (%d bytes)", path.c_str(), static_cast<int>(got));
        errno = EINVAL;
        return std::nullopt;
    }
    key.resize(KEY_BYTES);
    return key;
}

// Creates the key: written completely into a private temporary file, then
// linked to its name, which fails when another process got there first.
// Readers therefore never see a partly written key.
std::optional<std::string> create_key(const std::string &path) {
    std::string key(KEY_BYTES, '\0');
    if (!secure_random_bytes(key.data(), key.size())) return std::nullopt;
    std::string tmp = std::string(config_string("CAT_DIR")) + "/.identity.key.XXXXXX";
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);  // O_EXCL, mode 0600
    if (fd < 0) return std::nullopt;
    bool ok = ::write(fd, key.data(), key.size()) == static_cast<ssize_t>(key.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    bool linked = ok && ::link(tmp.c_str(), path.c_str()) == 0;
    int saved = errno;
    ::unlink(tmp.c_str());
    if (linked) return key;
    if (ok && saved == EEXIST) return read_key(path);
    return std::nullopt;
}

}  // namespace

const std::optional<std::string> &store_identity_key() {
    if (!cached) {
        const std::string path = key_path();
        std::optional<std::string> key = read_key(path);
        if (!key && errno == ENOENT) key = create_key(path);
        if (!key) overror("cannot read or create the identity key %s: %s", path.c_str(), my_strerror(errno).c_str());
        cached = std::move(key);
    }
    return *cached;
}

void require_identity_key() {
    if (store_identity_key()) return;
    cgidie("Orvel cannot read or create the store's identity key \"%s\".  Make sure the catalog directory is "
           "writable by the Orvel CGI, or that the key file is readable by it.",
           quote_html_specials(key_path()).c_str());
}

std::string sign_identity(std::string_view text) {
    const std::optional<std::string> &key = store_identity_key();
    if (!key) return {};
    return std::string(text) + "." + hmac_sha256_hex(*key, text);
}

std::optional<std::string> verify_identity(std::string_view signed_text) {
    if (signed_text.size() <= MAC_DIGITS + 1) return std::nullopt;
    const std::size_t dot = signed_text.size() - MAC_DIGITS - 1;
    if (signed_text[dot] != '.') return std::nullopt;
    const std::optional<std::string> &key = store_identity_key();
    if (!key) return std::nullopt;
    std::string_view text = signed_text.substr(0, dot);
    if (!constant_time_equal(hmac_sha256_hex(*key, text), signed_text.substr(dot + 1))) return std::nullopt;
    return std::string(text);
}

void forget_identity_key() { cached.reset(); }
