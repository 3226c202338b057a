// Shared pieces of the loop tests: a fixture with fresh dictionaries and
// no current product, products and cart lines stored directly, and a
// scratch directory made the working directory with the deprecation log
// switched on.
#pragma once

#include "ovml_support.h"

#include "catalog/products.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "vars/vars.h"

#include <string>
#include <string_view>

namespace loops_test {

class LoopTest : public ovml_test::OVMLTest {
protected:
    LoopTest() { set_current_product(nullptr); }
    ~LoopTest() override { set_current_product(nullptr); }

    static var *add_product(std::string_view skuid, std::string_view name, std::string_view price) {
        var *record = new_product(skuid);
        set_string(record, "SKUID", skuid);
        set_string(record, "NAME", name);
        set_string(record, "PRICE", price);
        return record;
    }
    static void select(std::string_view skuid, int quantity) { set_integer(DICT_SELECTED, skuid, quantity); }
    static std::string render(std::string_view page) { return render_OVML_String(page); }
    static std::string orvel(std::string_view name) { return std::string(var_string(DICT_ORVEL, name)); }
    // A nested dictionary stored under `name` in `dict`.
    static var *add_dict(var *dict, std::string_view name) {
        var *nested = new_dict(name);
        set_var(dict, std::string(name).c_str(), TYPE_VAR, nested);
        return nested;
    }
};

class LoopFilesTest : public LoopTest {
protected:
    LoopFilesTest() {
        dir.write("orvel.dep", "");
        reset_log_state();
    }
    ~LoopFilesTest() override { reset_log_state(); }
    std::string deprecations() const { return dir.read("orvel.dep"); }

    orvel_test::TempDir dir;
    orvel_test::WorkingDirectory cwd{dir.path()};
};

}  // namespace loops_test
