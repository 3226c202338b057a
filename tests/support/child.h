// Running a piece of the program in a forked child, to watch it end the
// request (exit status, the page it printed) without ending the test.
#pragma once

#include <functional>
#include <string>

namespace orvel_test {

struct ChildResult {
    int exit_status = -1;  // exit code, or 128+signal when killed
    std::string output;    // standard output
};
// Runs `body` in a forked child with standard output captured; a body that
// returns ends the child with status 0.
ChildResult run_in_child(const std::function<void()> &body);

}  // namespace orvel_test
