// Shared pieces of the template engine tests: elements registered once for
// the whole test program, a fixture with fresh dictionaries and settled
// context switches, the tag-character guard, and running code in a child
// process to watch it end the request.
#pragma once

#include "ovml/render.h"
#include "support/child.h"
#include "support/state.h"

#include <gtest/gtest.h>

#include <string>
#include <functional>

namespace ovml_test {

// Calls of each counting element since the last reset_counters().
struct Counters {
    int count = 0;      // ORVEL_COUNT
    int recurse = 0;    // ORVEL_RECURSE
};
Counters &counters();
void reset_counters();

// Registers the test elements (once per process):
//   ORVEL_ECHO    single: "[" tag text "]"
//   ORVEL_QUIET   single: ""
//   ORVEL_COUNT   single: counts its calls, outputs the count
//   ORVEL_DEPTH   single: the current render depth
//   ORVEL_RECURSE single: renders a text holding itself
//   /ORVEL_REPEAT paired: renders its body COUNT times; without a body
//                 "(no body: " tag text ")"
//   /ORVEL_RAW    paired: its raw body lines, each in braces, unrendered
void register_test_elements();

class OVMLTest : public ::testing::Test {
protected:
    OVMLTest();
    ~OVMLTest() override;
    orvel_test::FreshDictionaries dicts;
};

// Swaps the tag characters for the lifetime of the object.
class TagChars {
public:
    TagChars(char open, char close);
    ~TagChars();

private:
    char open_, close_;
};

using orvel_test::ChildResult;
using orvel_test::run_in_child;

}  // namespace ovml_test
