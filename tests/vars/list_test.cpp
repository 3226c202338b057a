// Lists: growth, fetching and truncation, serialization, splitting, and the
// conversions between lists and dictionaries.

#include "vars_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ListHandle {
    explicit ListHandle(list *list_) : l(list_) {}
    ~ListHandle() { free_list(l); }
    ListHandle(const ListHandle &) = delete;
    ListHandle &operator=(const ListHandle &) = delete;
    list *l;
};

std::vector<std::string> texts(list *l)
{
    std::vector<std::string> out;
    for (int i = 0; i < l->count; ++i)
        out.emplace_back(value_as_string(l->items[i]));
    return out;
}

value *str(const char *s)
{
    return create_value(TYPE_STRING, dup_cstring(s));
}

using Strings = std::vector<std::string>;

// ---- the list itself -----------------------------------------------------------

TEST(List, GrowsByEightWhenTheNextSlotIsTheLast)
{
    ListHandle h(new_list(1));
    EXPECT_EQ(h.l->capacity, 1);
    EXPECT_EQ(h.l->count, 0);
    list_append(h.l, create_value(TYPE_INTEGER, 0));
    EXPECT_EQ(h.l->capacity, 8);
    for (int i = 1; i < 7; ++i)
        list_append(h.l, create_value(TYPE_INTEGER, i));
    EXPECT_EQ(h.l->count, 7);
    EXPECT_EQ(h.l->capacity, 8);
    EXPECT_EQ(h.l->items[7], nullptr);
    list_append(h.l, create_value(TYPE_INTEGER, 7));
    EXPECT_EQ(h.l->capacity, 15);
    EXPECT_EQ(h.l->count, 8);
    for (int i = 8; i < 15; ++i)
        EXPECT_EQ(h.l->items[i], nullptr);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(value_as_integer(list_fetch(h.l, i), -1), i);
}

TEST(List, AppendReturnsTheValueAndZeroCapacityGrows)
{
    ListHandle h(new_list(0));
    EXPECT_EQ(h.l->items, nullptr);
    value *v = str("x");
    EXPECT_EQ(list_append(h.l, v), v);
    EXPECT_EQ(h.l->capacity, 8);
    EXPECT_EQ(list_fetch(h.l, 0), v);
}

TEST(List, FetchOutsideTheCountIsNull)
{
    ListHandle h(new_list(10));
    list_append(h.l, str("a"));
    EXPECT_NE(list_fetch(h.l, 0), nullptr);
    EXPECT_EQ(list_fetch(h.l, 1), nullptr);
    EXPECT_EQ(list_fetch(h.l, -1), nullptr);
    EXPECT_EQ(list_fetch(nullptr, 0), nullptr);
}

TEST(List, TruncateReleasesTheTail)
{
    ListHandle h(new_list(4));
    for (const char *s : {"a", "b", "c", "d", "e"})
        list_append(h.l, str(s));
    list_truncate(h.l, 7);  // past the count: nothing
    EXPECT_EQ(h.l->count, 5);
    list_truncate(h.l, 2);
    EXPECT_EQ(h.l->count, 2);
    EXPECT_EQ(h.l->items[2], nullptr);
    EXPECT_EQ(h.l->items[4], nullptr);
    EXPECT_EQ(texts(h.l), (Strings{"a", "b"}));
}

TEST(List, GrowAndInit)
{
    ListHandle h(new_list(2));
    list_append(h.l, str("a"));
    grow_list(h.l, 20);
    EXPECT_EQ(h.l->capacity, 20);
    EXPECT_EQ(texts(h.l), (Strings{"a"}));
    for (int i = 1; i < 20; ++i)
        EXPECT_EQ(h.l->items[i], nullptr);

    value *stray = str("stray");
    h.l->items[5] = stray;  // a slot past the count
    init_list(h.l, 1);
    EXPECT_EQ(h.l->items[5], nullptr);
    EXPECT_NE(h.l->items[0], nullptr);
    free_value(stray);
}

// ---- serialization -------------------------------------------------------------

TEST(ListSerialize, JoinsTextsAndStopsAtANullItem)
{
    ListHandle h(new_list(1));
    list_append(h.l, str("a"));
    list_append(h.l, create_value(TYPE_INTEGER, 2));
    list_append(h.l, create_value(TYPE_FLOAT, 2.5));
    CString joined(list_serialize(h.l, '|'));
    EXPECT_EQ(joined.str(), "a|2|2.50");

    value *saved = h.l->items[1];
    h.l->items[1] = nullptr;
    CString cut(list_serialize(h.l, '|'));
    EXPECT_EQ(cut.str(), "a");
    h.l->items[1] = saved;

    ListHandle empty(new_list(1));
    CString none(list_serialize(empty.l, ','));
    EXPECT_EQ(none.str(), "");
}

TEST(ListDeserialize, KeepsEveryPieceIncludingTheLast)
{
    ListHandle a(list_deserialize("a,,b,", ','));
    EXPECT_EQ(texts(a.l), (Strings{"a", "", "b", ""}));
    for (int i = 0; i < a.l->count; ++i)
        EXPECT_EQ(a.l->items[i]->type, TYPE_STRING);

    ListHandle one(list_deserialize("abc", ','));
    EXPECT_EQ(texts(one.l), (Strings{"abc"}));
    ListHandle sep(list_deserialize(",", ','));
    EXPECT_EQ(texts(sep.l), (Strings{"", ""}));
    ListHandle empty(list_deserialize("", ','));
    EXPECT_EQ(empty.l->count, 0);
    ListHandle null(list_deserialize(nullptr, ','));
    EXPECT_EQ(null.l->count, 0);
}

TEST(ListDeserialize, RoundTrip)
{
    ListHandle a(list_deserialize("x;;y z;", ';'));
    CString back(list_serialize(a.l, ';'));
    EXPECT_EQ(back.str(), "x;;y z;");
}

TEST(Explode, WithAndWithoutCollapse)
{
    ListHandle plain(Orvel_explode_into_list(",,a,,b,,", ',', 0));
    EXPECT_EQ(texts(plain.l), (Strings{"", "", "a", "", "b", ""}));
    ListHandle collapsed(Orvel_explode_into_list(",,a,,b,,", ',', 1));
    EXPECT_EQ(texts(collapsed.l), (Strings{"a", "b"}));
}

TEST(Explode, EdgeCases)
{
    ListHandle trailing(Orvel_explode_into_list("a,b,", ',', 0));
    EXPECT_EQ(texts(trailing.l), (Strings{"a", "b"}));
    ListHandle only_seps(Orvel_explode_into_list(",,,", ',', 1));
    EXPECT_EQ(texts(only_seps.l), (Strings{""}));
    ListHandle only_seps_plain(Orvel_explode_into_list(",,,", ',', 0));
    EXPECT_EQ(texts(only_seps_plain.l), (Strings{"", "", ""}));
    ListHandle no_sep(Orvel_explode_into_list("a,b", '\0', 1));
    EXPECT_EQ(texts(no_sep.l), (Strings{"a,b"}));
    ListHandle single(Orvel_explode_into_list("word", ' ', 1));
    EXPECT_EQ(texts(single.l), (Strings{"word"}));
    ListHandle empty(Orvel_explode_into_list("", ',', 0));
    EXPECT_EQ(empty.l->count, 0);
    ListHandle null(Orvel_explode_into_list(nullptr, ',', 1));
    EXPECT_EQ(null.l->count, 0);
}

// ---- lists and dictionaries ----------------------------------------------------

TEST(ListIntoVar, NamesInOrderWithDuplicatesCollapsed)
{
    ListHandle h(list_deserialize("B,A,B,C", ','));
    DictHandle d(list_into_var(h.l, nullptr));
    ASSERT_NE(d.d, nullptr);
    EXPECT_EQ(d.d->name[0], ' ');  // an unnamed dictionary
    EXPECT_EQ(chain_names(d.get()), (Strings{"B", "A", "C"}));
    for (var *v = d.d->next; v; v = v->next)
        EXPECT_EQ(v->value->type, TYPE_NONE);

    DictHandle given("[SET]");
    set_integer(given.get(), "A", 1);
    EXPECT_EQ(list_into_var(h.l, given.get()), given.get());
    EXPECT_EQ(chain_names(given.get()), (Strings{"A", "B", "C"}));
}

TEST(ListIntoVar, SublistRangeStopsAtTheEnd)
{
    ListHandle h(list_deserialize("a,b,c,d", ','));
    DictHandle mid(sublist_into_var(h.l, nullptr, 1, 2));
    EXPECT_EQ(chain_names(mid.get()), (Strings{"b", "c"}));
    DictHandle past(sublist_into_var(h.l, nullptr, 2, 40));
    EXPECT_EQ(chain_names(past.get()), (Strings{"c", "d"}));
    DictHandle none(sublist_into_var(h.l, nullptr, 3, 2));
    EXPECT_EQ(var_length(none.get()), 0);
}

TEST(VarListKeys, NamesAfterTheHead)
{
    DictHandle d("[D]");
    set_integer(d.get(), "X", 1);
    set_string(d.get(), "Y", "y");
    ListHandle keys(var_list_keys(d.get()));
    EXPECT_EQ(texts(keys.l), (Strings{"X", "Y"}));
    EXPECT_EQ(keys.l->items[0]->type, TYPE_STRING);

    ListHandle none(var_list_keys(nullptr));
    EXPECT_EQ(none.l->count, 0);
}

}  // namespace
