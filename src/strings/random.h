// The program's seeded random source for loops, scrambling and cache
// defeating (not for identifiers a stranger must not guess).
#pragma once

void my_srandom(int extra);
// 1..n inclusive; n = 0 means 2147483646.
int qrand(int n);
// 0..n-1.
int my_random(int n);
