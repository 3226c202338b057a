// Mutation fuzzing of the image header readers, run by hand (best in the
// sanitizer build):
//   build-asan/fuzz/image_fuzz [iterations] [seed]
// Each input is a mutated copy of one of the sample images, written to a
// file with that sample's ending and measured.  A fault is a sanitizer
// report (the program stops), a call that does not return within ten
// seconds (SIGALRM stops it), or a failure that changed the dimensions.
#include "mutate.h"
#include "platform/image.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

int main(int argc, char **argv)
{
    const long iterations = argc > 1 ? std::atol(argv[1]) : 100000;
    fuzz::Random rng(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);

    struct Seed {
        std::string bytes, ending;
    };
    std::vector<Seed> seeds;
    for (const auto &entry : fs::directory_iterator(std::string(ORVEL_SOURCE_DIR) + "/tests/data/images")) {
        const std::string ending = entry.path().extension().string();
        if (ending != ".gif" && ending != ".png" && ending != ".jpg") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream data;
        data << in.rdbuf();
        seeds.push_back({data.str(), ending});
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "no sample images found\n");
        return 2;
    }

    const std::string dir = fs::temp_directory_path() / ("image_fuzz." + std::to_string(::getpid()));
    fs::create_directories(dir);
    long faults = 0, measured = 0, failed = 0;
    for (long i = 0; i < iterations; ++i) {
        const Seed &seed = seeds[rng.below(seeds.size())];
        const std::string input = fuzz::mutate(seed.bytes, rng);
        const std::string path = dir + "/input" + seed.ending;
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out.write(input.data(), static_cast<std::streamsize>(input.size()));
        }
        ImageSize size;
        size.width = size.height = -7;
        ::alarm(10);
        image_size(path, size);
        ::alarm(0);
        if (size.error) {
            ++failed;
            if (size.width != -7 || size.height != -7) {
                ++faults;
                std::fprintf(stderr, "fault: failure \"%s\" changed the dimensions (input %ld)\n", size.error, i);
            }
        } else {
            ++measured;
        }
    }
    fs::remove_all(dir);
    std::printf("image_fuzz: %ld inputs tried, %ld measured, %ld refused with an error, %ld faults\n", iterations,
                measured, failed, faults);
    return faults ? 1 : 0;
}
