// Byte mutations for the fuzz programs: a small deterministic generator and
// the edits that find parser faults (bit flips, boundary bytes and lengths,
// cuts, insertions and repeated chunks).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed ? seed : 0x9e3779b97f4a7c15ull) {}
    std::uint64_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    // Uniform in [0, n); 0 when n is 0.
    std::size_t below(std::size_t n) { return n ? static_cast<std::size_t>(next() % n) : 0; }

private:
    std::uint64_t state_;
};

inline std::string mutate(std::string data, Random &rng)
{
    static const unsigned char boundary[] = {0x00, 0x01, 0x02, 0x7f, 0x80, 0xff, 0xd8, 0xd9, 0xda, 0xc0,
                                             0xc4, 0x0a, 0x0d, ':', ' ', '8', '9'};
    const int edits = 1 + static_cast<int>(rng.below(4));
    for (int e = 0; e < edits; ++e) {
        const std::size_t at = rng.below(data.size() + 1);
        switch (rng.below(8)) {
        case 0:  // flip a bit
            if (!data.empty()) data[rng.below(data.size())] ^= static_cast<char>(1u << rng.below(8));
            break;
        case 1:  // a boundary byte
            if (!data.empty()) data[rng.below(data.size())] = static_cast<char>(boundary[rng.below(sizeof boundary)]);
            break;
        case 2:  // a boundary 16-bit big-endian number (segment lengths, sizes)
            if (data.size() >= 2) {
                static const std::uint16_t values[] = {0, 1, 2, 3, 0x7fff, 0x8000, 0xffff};
                const std::uint16_t v = values[rng.below(7)];
                const std::size_t p = rng.below(data.size() - 1);
                data[p] = static_cast<char>(v >> 8);
                data[p + 1] = static_cast<char>(v & 0xff);
            }
            break;
        case 3:  // cut the end
            data.resize(rng.below(data.size() + 1));
            break;
        case 4:  // delete a range
            if (at < data.size()) data.erase(at, 1 + rng.below(std::min<std::size_t>(64, data.size() - at)));
            break;
        case 5: {  // insert random bytes
            std::string bytes(1 + rng.below(16), '\0');
            for (char &c : bytes) c = static_cast<char>(rng.below(256));
            data.insert(at, bytes);
            break;
        }
        case 6:  // repeat a chunk
            if (!data.empty()) {
                const std::size_t from = rng.below(data.size());
                const std::string chunk = data.substr(from, 1 + rng.below(64));
                data.insert(at, chunk);
            }
            break;
        default:  // a run of one byte (fill bytes, long lines)
            data.insert(at, std::string(1 + rng.below(300), static_cast<char>(boundary[rng.below(sizeof boundary)])));
            break;
        }
    }
    return data;
}

}  // namespace fuzz
