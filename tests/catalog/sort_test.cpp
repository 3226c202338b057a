// Sorting product lists by a field, and the cart operations.
#include "catalog/selection.h"
#include "catalog_test_util.h"
#include "vars/dict_index.h"

#include <vector>

using namespace catalog_test;

namespace {

std::vector<std::string> order_of(var *list)
{
    std::vector<std::string> names;
    for (var *v = list->next; v; v = v->next) names.push_back(v->name);
    return names;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ProductSortFunc, NumbersAsNumbersElseBytes)
{
    EXPECT_LT(product_sort_func("9", "10"), 0);
    EXPECT_GT(product_sort_func("-1.5", "-2"), 0);
    EXPECT_EQ(product_sort_func("1.0", "1"), 0);
    EXPECT_LT(product_sort_func("10", "9a"), 0);       // bytes
    EXPECT_GT(product_sort_func("$9", "$10"), 0);      // a currency sign is no number
    EXPECT_LT(product_sort_func("1,000", "999"), 0);   // nor a thousands separator
    EXPECT_GT(product_sort_func("\xC3\xA9", "z"), 0);  // bytes compare unsigned
    EXPECT_LT(product_sort_func("", "0"), 0);
}

class SortProducts : public CatalogTest {
protected:
    // A product per SKUID with the field KEY; the list names them in order.
    var *keyed(const std::vector<std::pair<const char *, const char *>> &items)
    {
        std::string text;
        var *list = list_of({});
        for (const auto &[skuid, key] : items) {
            text += std::string("SKUID: ") + skuid + "\nKEY: " + key + "\n";
            set_integer(list, skuid, 1);
        }
        products(text);
        return list;
    }
};

TEST_F(SortProducts, InsertionOrderDecidesWithMixedKeys)
{
    var *list = keyed({{"A", "10"}, {"B", "9"}, {"C", "100"}});
    sort_products(list, "KEY", true);
    EXPECT_EQ(order_of(list), (Names{"B", "A", "C"}));
    sort_products(list, "KEY", false);
    EXPECT_EQ(order_of(list), (Names{"C", "A", "B"}));

    var *mixed = keyed({{"D", "10"}, {"E", "9"}, {"F", "1a"}});
    sort_products(mixed, "KEY", true);
    EXPECT_EQ(order_of(mixed), (Names{"F", "E", "D"}));
}

TEST_F(SortProducts, EqualKeysAscendingKeepOrderDescendingReverse)
{
    var *list = keyed({{"B1", "b"}, {"A", "a"}, {"B2", "b"}, {"C", "c"}, {"B3", "b"}});
    sort_products(list, "KEY", true);
    EXPECT_EQ(order_of(list), (Names{"A", "B1", "B2", "B3", "C"}));
    var *again = keyed({{"B1", "b"}, {"A", "a"}, {"B2", "b"}, {"C", "c"}, {"B3", "b"}});
    sort_products(again, "KEY", false);
    EXPECT_EQ(order_of(again), (Names{"C", "B3", "B2", "B1", "A"}));
}

TEST_F(SortProducts, MissingProductsAndEmptyLists)
{
    var *list = keyed({{"A", "2"}, {"B", "1"}});
    set_integer(list, "GONE", 1);  // loaded as a missing product, key ""
    sort_products(list, "KEY", true);
    EXPECT_EQ(order_of(list), (Names{"GONE", "B", "A"}));
    var *empty = list_of({});
    sort_products(empty, "KEY", true);
    sort_products(nullptr, "KEY", true);
    EXPECT_EQ(empty->next, nullptr);
}

TEST_F(SortProducts, AnIndexedDictionaryStaysUsable)
{
    std::vector<std::pair<const char *, const char *>> items;
    std::vector<std::string> names, keys;
    for (int i = 0; i < 40; ++i) {
        names.push_back("P" + std::to_string(i));
        keys.push_back(std::to_string((i * 7) % 40));
    }
    for (int i = 0; i < 40; ++i) items.emplace_back(names[i].c_str(), keys[i].c_str());
    var *list = keyed(items);
    ASSERT_NE(dict_index(list), nullptr);
    sort_products(list, "KEY", true);
    EXPECT_EQ(list->next->name, std::string("P0"));
    EXPECT_EQ(var_length(list), 40);
    for (const std::string &n : names) EXPECT_NE(get_var(list, n), nullptr) << n;
    set_integer(list, "LATE", 1);  // appended after the new last record
    EXPECT_EQ(order_of(list).back(), "LATE");
    EXPECT_EQ(var_length(list), 41);
    unset_var(list, std::string_view("LATE"));
    EXPECT_EQ(order_of(list).back(), "P17");  // key 39
    EXPECT_EQ(var_length(list), 40);
}

TEST_F(CatalogTest, SelectedQuantities)
{
    products("SKUID: A\nNAME: a\n");
    fill({"A"});
    set_selected_quantity("A", 3);
    set_selected_quantity("B", 0);
    set_selected_quantity("", 9);
    EXPECT_EQ(field("A", "QUANTITY"), "3");
    EXPECT_EQ(get_selected_quantity("B"), 0);
    EXPECT_TRUE(var_defined(DICT_SELECTED, "B"));
    EXPECT_EQ(get_selected_products_string(), "A;B");
}
