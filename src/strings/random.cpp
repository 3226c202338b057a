#include "strings/random.h"

#include <cstdlib>
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
