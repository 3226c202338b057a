// Choices: ordered, reversed, random and filtered selections of positions
// 1..count, used by the loops to decide which entries to visit and in what
// order.  A choice list is the vector of positions; an empty vector means no
// selection.
#pragma once

#include <string_view>
#include <vector>

using Choices = std::vector<int>;

// 1, 2, ..., count (empty when count <= 0).
Choices choose_all(int count);
// count, count-1, ..., 1 (empty when count <= 0).
Choices reversed_choices(int count);
// n distinct positions from 1..count in random order, drawn with the seeded
// generator: each draw takes the qrand(remaining)-th of the positions not
// yet taken, in ascending order.  n above count is cut to count; empty when
// count or n <= 0.
Choices scrambled_choices(int count, int n);
// A random selection of n positions.  A non-empty `spec` replaces n: "25%"
// is that percentage of count (truncated, at least 1 unless the percentage
// is zero, at most count); anything else is read as a number.
Choices choose_choices(int count, int n, std::string_view spec);
// Up to n positions from 1..count, ascending, leaving out the excluded ones.
Choices choose_all_but(int count, int n, const Choices &excluded);
bool isa_choice(const Choices &list, int position);
// Removes the position, closing the gap; false when it was not in the list.
bool delete_choice(Choices &list, int position);
