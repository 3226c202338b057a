#include "strings/random.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/random.h>
#include <unistd.h>

namespace {
long seed = 0;
bool seeded = false;
long calls = 0;
}  // namespace

void my_srandom(int extra) {
    if (!seeded) {
        seed = static_cast<long>(::getpid());
        seeded = true;
    }
    seed += ++calls;
    if (extra > 0) seed += extra;
    std::srand(static_cast<unsigned>(seed < 0 ? -seed : seed));
}

int qrand(int n) {
    if (n == 0) n = 2147483646;
    // rand() * n * 2^-31, truncated, plus one.
    double r = static_cast<double>(std::rand()) * static_cast<double>(n) / 2147483648.0;
    return static_cast<int>(r) + 1;
}

int my_random(int n) { return qrand(n) - 1; }

// ---- the operating system's random source ---------------------------------

bool read_dev_urandom(void *buffer, std::size_t length) {
    int fd;
    do {
        fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    auto *out = static_cast<unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < length) {
        ssize_t got = ::read(fd, out + done, length - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return done == length;
}

bool secure_random_bytes(void *buffer, std::size_t length) {
    auto *out = static_cast<unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < length) {
        ssize_t got = ::getrandom(out + done, length - done, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSYS) return read_dev_urandom(out + done, length - done);
            return false;
        }
        done += static_cast<std::size_t>(got);  // a short read: ask for the rest
    }
    return true;
}

int secure_random(int n) {
    if (n <= 1) return 0;
    // Draws at or above the largest multiple of n below 2^32 are thrown away,
    // so that every remainder is equally likely.
    const std::uint64_t range = std::uint64_t{1} << 32;
    const std::uint64_t limit = range - range % static_cast<std::uint64_t>(n);
    for (;;) {
        std::uint32_t draw;
        if (!secure_random_bytes(&draw, sizeof draw)) std::abort();
        if (draw < limit) return static_cast<int>(draw % static_cast<std::uint32_t>(n));
    }
}

std::string Orvel_random_word(int length) {
    static constexpr std::string_view consonants = "bcdfghjklmnpqrstvwxyz";
    static constexpr std::string_view vowels = "aeiou";
    std::string word;
    if (length <= 0) return word;
    word.reserve(static_cast<std::size_t>(length));
    bool consonant = std::time(nullptr) % 2 != 0;
    for (int i = 0; i < length; ++i, consonant = !consonant) {
        std::string_view letters = consonant ? consonants : vowels;
        word.push_back(letters[static_cast<std::size_t>(secure_random(static_cast<int>(letters.size())))]);
    }
    return word;
}
