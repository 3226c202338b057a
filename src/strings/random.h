// The program's random sources.
//
// The seeded generator (my_srandom, qrand, my_random) serves loops,
// scrambling and cache defeating: it is cheap and repeatable within a
// process, and must not be used for anything a stranger must not guess.
// secure_random and Orvel_random_word draw from the operating system's
// random source, for bearer tokens such as client ids and pick-up ids.
#pragma once

#include <cstddef>
#include <string>

void my_srandom(int extra);
// 1..n inclusive; n = 0 means 2147483646.
int qrand(int n);
// 0..n-1.
int my_random(int n);

// Fills the buffer from getrandom(2), or from /dev/urandom on a kernel
// without it.  false only when neither source can be read.
bool secure_random_bytes(void *buffer, std::size_t length);
// The /dev/urandom source on its own (the fallback of secure_random_bytes).
bool read_dev_urandom(void *buffer, std::size_t length);
// Uniform in 0..n-1 (0 when n <= 1), without modulo bias.  Aborts the
// process when the system offers no random source at all: handing out a
// guessable token would be worse than failing the request.
int secure_random(int n);

// A pronounceable lower-case word of `length` letters, alternating
// consonants and vowels, starting with a consonant when the current time in
// seconds is odd and with a vowel when it is even.  "" when length <= 0.
std::string Orvel_random_word(int length);
