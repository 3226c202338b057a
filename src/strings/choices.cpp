#include "strings/choices.h"

#include "strings/random.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

// Truncates toward zero, holding values outside int (and NaN) in range.
int truncate_to_int(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

Choices choose_all(int count)
{
    Choices list;
    for (int i = 1; i <= count; ++i) list.push_back(i);
    return list;
}

Choices reversed_choices(int count)
{
    Choices list;
    for (int i = count; i >= 1; --i) list.push_back(i);
    return list;
}

Choices scrambled_choices(int count, int n)
{
    Choices list;
    if (count <= 0 || n <= 0) return list;
    n = std::min(n, count);
    Choices remaining = choose_all(count);
    list.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        int pick = qrand(static_cast<int>(remaining.size()));
        // qrand stays within 1..n; the clamp only guards the index.
        pick = std::clamp(pick, 1, static_cast<int>(remaining.size()));
        list.push_back(remaining[static_cast<std::size_t>(pick - 1)]);
        remaining.erase(remaining.begin() + (pick - 1));
    }
    return list;
}

Choices choose_choices(int count, int n, std::string_view spec)
{
    if (!spec.empty()) {
        const std::string text(spec);
        const double value = std::strtod(text.c_str(), nullptr);
        if (spec.back() == '%') {
            n = truncate_to_int(count * value * 0.01);
            if (value != 0 && n < 1) n = 1;
            if (n > count) n = count;
        } else {
            n = truncate_to_int(value);
        }
    }
    if (n <= 0) return {};
    return scrambled_choices(count, std::min(count, n));
}

Choices choose_all_but(int count, int n, const Choices &excluded)
{
    Choices list;
    for (int i = 1; i <= count && static_cast<int>(list.size()) < n; ++i)
        if (!isa_choice(excluded, i)) list.push_back(i);
    return list;
}

bool isa_choice(const Choices &list, int position)
{
    return std::find(list.begin(), list.end(), position) != list.end();
}

bool delete_choice(Choices &list, int position)
{
    auto at = std::find(list.begin(), list.end(), position);
    if (at == list.end()) return false;
    list.erase(at);
    return true;
}
