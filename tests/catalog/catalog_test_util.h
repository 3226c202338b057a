// Shared set-up for the catalog tests: fresh dictionaries, a catalog
// directory configured as CAT_DIR, and short ways to ask for products and
// read their fields.
#pragma once

#include "catalog/products.h"
#include "core/lifecycle.h"
#include "ovml/tokens.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

namespace catalog_test {

class CatalogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        forget_missing_product_text();
        set_current_product(nullptr);
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
    }
    void TearDown() override { set_current_product(nullptr); }

    void products(const std::string &text) const { dir.write("products.txt", text); }

    // A list variable naming the SKUIDs, owned by the fixture.
    var *list_of(std::initializer_list<const char *> skuids)
    {
        var *list = lists_.emplace_back(new_dict("[LIST]"));
        for (const char *s : skuids) set_integer(list, s, 1);
        return list;
    }
    void fill(std::initializer_list<const char *> skuids) { fill_products(list_of(skuids)); }

    // A field's text, or "<absent>" when the product or field is missing.
    static std::string field(std::string_view skuid, std::string_view name)
    {
        var *f = get_product_field(get_product(skuid), name);
        return f ? std::string(value_view(f->value)) : "<absent>";
    }
    static int type_of(std::string_view skuid, std::string_view name)
    {
        var *f = get_product_field(get_product(skuid), name);
        return f && f->value ? f->value->type : -1;
    }

    orvel_test::FreshDictionaries dicts;
    orvel_test::TempDir dir;
    std::vector<var *> lists_;

public:
    ~CatalogTest() override
    {
        for (var *list : lists_) nuke_var(list);
    }
};

// Sends standard output to a file (for the pages of requests that end).
inline void stdout_to(const std::string &path)
{
    std::fflush(stdout);
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
        ::dup2(fd, 1);
        ::close(fd);
    }
}

}  // namespace catalog_test
