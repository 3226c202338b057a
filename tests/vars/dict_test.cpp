// Dictionaries: storing, looking up, removing, copying and releasing, on
// small chains and on large indexed ones (checked against a plain model of
// the expected order after every kind of change).

#include "vars_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// ---- small dictionaries --------------------------------------------------------

TEST(Dict, StoringANameTwiceKeepsItsPlace)
{
    DictHandle d("[D]");
    set_var(d.get(), "A", TYPE_INTEGER, 1);
    set_var(d.get(), "B", TYPE_INTEGER, 2);
    var *first = get_var(d.get(), "A");
    var *again = set_var(d.get(), "A", TYPE_STRING, dup_cstring("second"));
    EXPECT_EQ(again, first);
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"A", "B"}));
    EXPECT_STREQ(value_as_string(get_var(d.get(), "A")->value), "second");
    EXPECT_EQ(var_length(d.get()), 2);
}

TEST(Dict, NamesAreCaseSensitive)
{
    DictHandle d("[D]");
    set_var(d.get(), "a", TYPE_INTEGER, 1);
    EXPECT_EQ(get_var(d.get(), "A"), nullptr);
    ASSERT_NE(get_var(d.get(), "a"), nullptr);
    EXPECT_EQ(get_var_case_insensitive(d.get(), "A"), get_var(d.get(), "a"));
    EXPECT_EQ(get_var_case_insensitive(d.get(), "a"), get_var(d.get(), "a"));
    EXPECT_EQ(get_var_case_insensitive(d.get(), "ab"), nullptr);
    EXPECT_EQ(get_var_case_insensitive(d.get(), ""), nullptr);
    EXPECT_EQ(get_var_case_insensitive(d.get(), "[d]"), d.get());
}

TEST(Dict, TheLabelFindsTheHead)
{
    DictHandle d("[CONFIG]");
    set_var(d.get(), "X", TYPE_INTEGER, 1);
    EXPECT_EQ(get_var(d.get(), "[CONFIG]"), d.get());
    EXPECT_EQ(get_var(d.get(), std::string_view("[CONFIG]")), d.get());
    EXPECT_EQ(var_length(d.get()), 1);
}

TEST(Dict, UnnamedEntriesGetGeneratedNamesInOrder)
{
    DictHandle d("[NOTES]");
    set_var(d.get(), nullptr, TYPE_STRING, dup_cstring("first"));
    set_var(d.get(), nullptr, TYPE_STRING, dup_cstring("second"));
    add_unnamed_string(d.get(), "third");
    const auto names = chain_names(d.get());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(var_length(d.get()), 3);
    const long n0 = std::strtol(names[0].c_str() + 1, nullptr, 10);
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(names[i], " " + std::to_string(n0 + static_cast<long>(i)));
    EXPECT_EQ(var_string(d.get(), names[2]), "third");
}

TEST(Dict, LookupsOfAbsentNamesAndNullArguments)
{
    DictHandle d("[D]");
    EXPECT_EQ(get_var(d.get(), "NOPE"), nullptr);
    EXPECT_EQ(get_var(nullptr, "X"), nullptr);
    EXPECT_EQ(get_var(d.get(), static_cast<const char *>(nullptr)), nullptr);
    EXPECT_EQ(var_length(nullptr), -1);
    EXPECT_EQ(var_length(d.get()), 0);
    // A store into no dictionary releases the value it was given.
    EXPECT_EQ(set_var(nullptr, "X", TYPE_STRING, dup_cstring("lost")), nullptr);
}

TEST(Dict, EmptyNameIsAName)
{
    DictHandle d("[D]");
    set_var(d.get(), "", TYPE_INTEGER, 5);
    var *v = get_var(d.get(), "");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->hash, 0u);
    EXPECT_EQ(var_length(d.get()), 1);
}

TEST(Dict, UnsetRemovesAndRelinks)
{
    DictHandle d("[D]");
    for (const char *n : {"A", "B", "C", "D"})
        set_var(d.get(), n, TYPE_INTEGER, 1);
    unset_var(d.get(), "B");
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"A", "C", "D"}));
    unset_var(d.get(), "D");  // the last one
    unset_var(d.get(), "ZZ"); // absent: nothing
    unset_var(d.get(), static_cast<const char *>(nullptr));
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"A", "C"}));
    EXPECT_TRUE(links_consistent(d.get()));
    set_var(d.get(), "E", TYPE_INTEGER, 1);
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"A", "C", "E"}));
    EXPECT_TRUE(links_consistent(d.get()));
    unset_var(d.get(), std::string_view("A"));
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"C", "E"}));
    EXPECT_EQ(d.d->next->previous, d.d);
}

TEST(Dict, UnsetNeverRemovesTheStartingRecord)
{
    DictHandle d("[D]");
    set_var(d.get(), "A", TYPE_INTEGER, 1);
    unset_var(d.get(), "[D]");
    EXPECT_EQ(get_var(d.get(), "[D]"), d.get());
    EXPECT_EQ(var_length(d.get()), 1);
}

TEST(Dict, ReverseIntegerLookup)
{
    DictHandle d("[COLUMNS]");
    set_var(d.get(), "SKU", TYPE_INTEGER, 0);
    set_var(d.get(), "PRICE_TEXT", TYPE_STRING, dup_cstring("2"));
    set_var(d.get(), "PRICE", TYPE_INTEGER, 2);
    set_var(d.get(), "OTHER", TYPE_INTEGER, 2);
    EXPECT_STREQ(var_reverse_integer_lookup(d.get(), 2), "PRICE");
    EXPECT_STREQ(var_reverse_integer_lookup(d.get(), 0), "SKU");
    EXPECT_EQ(var_reverse_integer_lookup(d.get(), 7), nullptr);
}

TEST(Dict, CreateVarTakesPairsUntilANull)
{
    ValueHandle unused(create_value(TYPE_INTEGER, 1));  // past the end: never taken over
    DictHandle d(create_var("[P]", "NAME", create_value(TYPE_STRING, dup_cstring("Hat")), "PRICE",
                            create_value(TYPE_FLOAT, 9.5), "NEVER", nullptr, "X", unused.v,
                            nullptr));
    EXPECT_STREQ(d.d->name, "[P]");
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"NAME", "PRICE"}));
    EXPECT_EQ(var_string(d.get(), "PRICE"), "9.50");
}

TEST(Dict, ConveniencesReadWithDefaults)
{
    DictHandle d("[D]");
    set_string(d.get(), "S", "text");
    set_integer(d.get(), "I", 7);
    set_float(d.get(), "F", 1.5);
    set_none(d.get(), "N");
    set_string(d.get(), "ZERO", "0");

    EXPECT_EQ(var_string(d.get(), "S"), "text");
    EXPECT_EQ(var_string(d.get(), "ABSENT"), "");
    EXPECT_NE(var_string(d.get(), "ABSENT").data(), nullptr);
    EXPECT_EQ(var_integer(d.get(), "I", 0), 7);
    EXPECT_EQ(var_integer(d.get(), "ABSENT", -3), -3);
    EXPECT_EQ(var_integer(d.get(), "S", -3), -3);
    EXPECT_DOUBLE_EQ(var_float(d.get(), "F", 0), 1.5);
    EXPECT_DOUBLE_EQ(var_float(d.get(), "ABSENT", 2.5), 2.5);
    EXPECT_TRUE(var_boolean(d.get(), "S"));
    EXPECT_FALSE(var_boolean(d.get(), "ZERO"));
    EXPECT_FALSE(var_boolean(d.get(), "ABSENT"));
    EXPECT_TRUE(var_defined(d.get(), "N"));
    EXPECT_FALSE(var_boolean(d.get(), "N"));
    EXPECT_FALSE(var_defined(d.get(), "ABSENT"));
    EXPECT_EQ(value_view(nullptr), "");

    // string_view names need not be terminated.
    const std::string_view longer("SIZE");
    set_string(d.get(), longer.substr(0, 1), "prefix");
    EXPECT_EQ(var_string(d.get(), "S"), "prefix");

    var *nd = new_dict("[NEW]");
    EXPECT_STREQ(nd->name, "[NEW]");
    EXPECT_EQ(var_length(nd), 0);
    nuke_var(nd);
}

// ---- copying -----------------------------------------------------------------

TEST(CopyVar, OverwriteFlagDecidesForExistingNames)
{
    DictHandle src("[SRC]");
    set_string(src.get(), "A", "new");
    set_string(src.get(), "B", "b");
    DictHandle dst("[DST]");
    set_string(dst.get(), "A", "old");

    EXPECT_EQ(copy_var(src.get(), dst.get(), 0), dst.get());
    EXPECT_EQ(var_string(dst.get(), "A"), "old");
    EXPECT_EQ(var_string(dst.get(), "B"), "b");

    copy_var(src.get(), dst.get(), 1);
    EXPECT_EQ(var_string(dst.get(), "A"), "new");
    EXPECT_EQ(chain_names(dst.get()), (std::vector<std::string>{"A", "B"}));
}

TEST(CopyVar, CopiesByType)
{
    DictHandle src("[SRC]");
    int token = 0;
    text t{nullptr, nullptr};
    list *l = new_list(1);
    var *nested = new_var("[N]");
    set_string(nested, "INNER", "deep");

    set_none(src.get(), "NONE");
    set_integer(src.get(), "INT", 3);
    set_float(src.get(), "FLOAT", 0.25);
    set_string(src.get(), "STR", "s");
    set_var(src.get(), "VAR", TYPE_VAR, nested);
    set_var(src.get(), "TEXT", TYPE_TEXT, &t);
    set_var(src.get(), "LIST", TYPE_LIST, l);
    set_var(src.get(), "VOID", TYPE_VOID, &token);

    DictHandle copy(copy_var(src.get(), nullptr, 0));
    EXPECT_STREQ(copy.d->name, "[SRC]");
    EXPECT_EQ(chain_names(copy.get()),
              (std::vector<std::string>{"NONE", "INT", "FLOAT", "STR", "VAR", "VOID"}));
    EXPECT_EQ(get_var(copy.get(), "NONE")->value->type, TYPE_NONE);
    EXPECT_EQ(var_integer(copy.get(), "INT", 0), 3);
    EXPECT_DOUBLE_EQ(var_float(copy.get(), "FLOAT", 0), 0.25);
    EXPECT_NE(get_var(copy.get(), "STR")->value->payload.p,
              get_var(src.get(), "STR")->value->payload.p);
    EXPECT_EQ(var_string(copy.get(), "STR"), "s");
    EXPECT_EQ(value_as_void(get_var(copy.get(), "VOID")->value), &token);

    var *copied_nested = value_as_var(get_var(copy.get(), "VAR")->value);
    ASSERT_NE(copied_nested, nullptr);
    EXPECT_NE(copied_nested, nested);
    set_string(nested, "INNER", "changed");
    EXPECT_EQ(var_string(copied_nested, "INNER"), "deep");

    free_list(l);
}

TEST(CopyVar, NullSourceReturnsDestination)
{
    DictHandle dst("[DST]");
    EXPECT_EQ(copy_var(nullptr, dst.get(), 1), dst.get());
    EXPECT_EQ(copy_var(nullptr, nullptr, 1), nullptr);
}

// ---- releasing -----------------------------------------------------------------

TEST(NukeVar, FromAMiddleRecordCutsTheChain)
{
    DictHandle d("[D]");
    for (const char *n : {"A", "B", "C", "D"})
        set_var(d.get(), n, TYPE_INTEGER, 1);
    EXPECT_EQ(nuke_var(get_var(d.get(), "C")), nullptr);
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(get_var(d.get(), "C"), nullptr);
    EXPECT_EQ(var_length(d.get()), 2);
    set_var(d.get(), "E", TYPE_INTEGER, 1);
    EXPECT_EQ(chain_names(d.get()), (std::vector<std::string>{"A", "B", "E"}));
    EXPECT_TRUE(links_consistent(d.get()));
    EXPECT_EQ(nuke_var(nullptr), nullptr);
}

TEST(NukeVar, ReleasesNestedDictionaries)
{
    // Run under the address sanitizer, a leak here fails the run.
    var *d = new_var("[PRODUCTS]");
    for (int i = 0; i < 40; ++i) {
        var *product = new_var("[PRODUCT]");
        set_string(product, "NAME", "thing");
        set_var(d, ("SKU" + std::to_string(i)).c_str(), TYPE_VAR, product);
    }
    EXPECT_EQ(var_length(d), 40);
    EXPECT_EQ(nuke_var(d), nullptr);
}

// ---- large, indexed dictionaries --------------------------------------------

// Keeps the expected names in order next to the dictionary and compares the
// two completely: order, links, count and every lookup.
class LargeDict : public ::testing::Test {
protected:
    void add(const std::string &name, int n)
    {
        if (std::find(model_.begin(), model_.end(), name) == model_.end())
            model_.push_back(name);
        set_var(d_.get(), name.c_str(), TYPE_INTEGER, n);
    }
    void remove(const std::string &name)
    {
        model_.erase(std::remove(model_.begin(), model_.end(), name), model_.end());
        unset_var(d_.get(), name.c_str());
    }
    void check(const std::vector<std::string> &gone = {})
    {
        ASSERT_EQ(chain_names(d_.get()), model_);
        ASSERT_TRUE(links_consistent(d_.get()));
        ASSERT_EQ(var_length(d_.get()), static_cast<int>(model_.size()));
        for (var *v = d_.d; v; v = v->next)
            ASSERT_EQ(get_var(d_.get(), v->name), v) << v->name;
        for (const std::string &name : gone)
            ASSERT_EQ(get_var(d_.get(), name.c_str()), nullptr) << name;
    }
    static std::string name_of(int i) { return "NAME_" + std::to_string(i); }

    DictHandle d_{"[BIG]"};
    std::vector<std::string> model_;
};

TEST_F(LargeDict, GrowingPastTheThresholdKeepsOrderAndLookups)
{
    for (int i = 0; i < 15; ++i)
        add(name_of(i), i);
    EXPECT_EQ(d_.d->index, nullptr);  // small dictionaries just walk
    check();
    for (int i = 15; i < 3000; ++i)
        add(name_of(i), i);
    EXPECT_NE(d_.d->index, nullptr);
    check({"NAME_3000", "name_1", ""});
    EXPECT_EQ(get_var(d_.get(), "[BIG]"), d_.get());
    EXPECT_EQ(var_integer(d_.get(), "NAME_2999", -1), 2999);
}

TEST_F(LargeDict, ReplaceInPlaceKeepsThePosition)
{
    for (int i = 0; i < 500; ++i)
        add(name_of(i), i);
    var *before = get_var(d_.get(), "NAME_250");
    add("NAME_250", -1);
    EXPECT_EQ(get_var(d_.get(), "NAME_250"), before);
    EXPECT_EQ(var_integer(d_.get(), "NAME_250", 0), -1);
    check();
}

TEST_F(LargeDict, UnsetHeadNeighbourTailAndMiddle)
{
    for (int i = 0; i < 1000; ++i)
        add(name_of(i), i);
    std::vector<std::string> gone;
    for (int i : {0, 999, 500, 998, 1}) {
        remove(name_of(i));
        gone.push_back(name_of(i));
    }
    check(gone);
    // Removing the last record moves the append point back.
    add("AFTER_TAIL", 1);
    remove("AFTER_TAIL");
    add("NEW_TAIL", 2);
    check({"AFTER_TAIL"});
    // A removed name stored again goes to the end.
    add(name_of(500), 5);
    check();
    EXPECT_EQ(chain_names(d_.get()).back(), name_of(500));
}

TEST_F(LargeDict, RandomMixOfChangesMatchesTheModel)
{
    std::mt19937 rng(7);
    std::vector<std::string> gone;
    for (int step = 0; step < 20000; ++step) {
        const std::string name = name_of(static_cast<int>(rng() % 3000));
        if (rng() % 3 == 0)
            remove(name);
        else
            add(name, step);
    }
    for (int i = 0; i < 3000; ++i) {
        if (std::find(model_.begin(), model_.end(), name_of(i)) == model_.end())
            gone.push_back(name_of(i));
    }
    check(gone);
}

TEST_F(LargeDict, NukeFromAMiddleRecordForgetsTheCutNames)
{
    for (int i = 0; i < 2000; ++i)
        add(name_of(i), i);
    nuke_var(get_var(d_.get(), "NAME_1200"));
    model_.resize(1200);
    check({"NAME_1200", "NAME_1999"});
    add("NAME_1999", 1);
    add("LATER", 2);
    check({"NAME_1200"});
}

TEST_F(LargeDict, CopyOfALargeDictionary)
{
    for (int i = 0; i < 1000; ++i)
        add(name_of(i), i);
    DictHandle copy(copy_var(d_.get(), nullptr, 1));
    EXPECT_EQ(chain_names(copy.get()), model_);
    EXPECT_EQ(var_length(copy.get()), 1000);
    EXPECT_EQ(var_integer(copy.get(), "NAME_777", -1), 777);

    // Without overwrite, a second copy changes nothing.
    set_var(copy.get(), "NAME_5", TYPE_INTEGER, -5);
    copy_var(d_.get(), copy.get(), 0);
    EXPECT_EQ(var_integer(copy.get(), "NAME_5", 0), -5);
    EXPECT_EQ(var_length(copy.get()), 1000);
}

TEST_F(LargeDict, LookupFromAMiddleRecordWalksForwardOnly)
{
    for (int i = 0; i < 100; ++i)
        add(name_of(i), i);
    var *middle = get_var(d_.get(), "NAME_50");
    EXPECT_EQ(get_var(middle, "NAME_10"), nullptr);
    EXPECT_EQ(get_var(middle, "NAME_60"), get_var(d_.get(), "NAME_60"));
    EXPECT_EQ(get_var(middle, "NAME_50"), middle);
    EXPECT_EQ(var_length(middle), 49);
}

TEST_F(LargeDict, StoresAndRemovalsFromAMiddleRecordReachTheHeadIndex)
{
    for (int i = 0; i < 100; ++i)
        add(name_of(i), i);
    var *middle = get_var(d_.get(), "NAME_50");
    set_var(middle, "APPENDED", TYPE_INTEGER, 1);
    model_.push_back("APPENDED");
    check();
    unset_var(middle, "NAME_70");
    model_.erase(std::find(model_.begin(), model_.end(), "NAME_70"));
    unset_var(middle, "NAME_10");  // before the starting record: not reached
    check({"NAME_70"});
}

TEST_F(LargeDict, RecordsLinkedByHandAtTheEndAreFound)
{
    for (int i = 0; i < 100; ++i)
        add(name_of(i), i);
    var *last = d_.d;
    while (last->next)
        last = last->next;
    var *extra = new_var("BY_HAND");
    extra->previous = last;
    last->next = extra;
    model_.push_back("BY_HAND");
    EXPECT_EQ(get_var(d_.get(), "BY_HAND"), extra);
    add("AFTER_HAND", 1);
    check();
}

TEST_F(LargeDict, ManyUnnamedEntries)
{
    for (int i = 0; i < 200; ++i)
        add_unnamed_string(d_.get(), "note " + std::to_string(i));
    model_ = chain_names(d_.get());
    ASSERT_EQ(model_.size(), 200u);
    check();
    EXPECT_EQ(var_string(d_.get(), model_[199]), "note 199");
}

}  // namespace
