// In-process test state: fresh dictionaries for each test, and running a
// test body inside a temporary working directory.
#pragma once

#include <orvel.h>

#include <string>
#include <unistd.h>

extern "C" void Orvel_initialize(void);
extern "C" void Orvel_deinitialize(void);

namespace orvel_test {

struct FreshDictionaries {
    FreshDictionaries() {
        Orvel_deinitialize();
        Orvel_initialize();
    }
    ~FreshDictionaries() { Orvel_deinitialize(); }
};

// Changes the working directory for the lifetime of the object.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string &dir) {
        char buf[4096];
        if (::getcwd(buf, sizeof buf)) old_ = buf;
        if (::chdir(dir.c_str()) != 0) old_.clear();
    }
    ~WorkingDirectory() {
        if (!old_.empty() && ::chdir(old_.c_str()) != 0) {}
    }

private:
    std::string old_;
};

}  // namespace orvel_test
