// Values: setting, releasing and the text, integer, float and truth
// conversions of every type; the name hash and the debug rendering.

#include "vars_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

value *string_value(const char *s)
{
    return create_value(TYPE_STRING, dup_cstring(s));
}

// ---- conversions -----------------------------------------------------------

TEST(ValueConversion, NullValueGivesDefaults)
{
    EXPECT_STREQ(value_as_string(nullptr), "");
    EXPECT_EQ(value_as_integer(nullptr, 17), 17);
    EXPECT_DOUBLE_EQ(value_as_float(nullptr, 1.5), 1.5);
    EXPECT_FALSE(value_as_boolean(nullptr));
}

TEST(ValueConversion, NoneIsEmptyAndZeroNotDefault)
{
    ValueHandle v(new_value());
    EXPECT_EQ(v.v->type, TYPE_NONE);
    EXPECT_EQ(v.v->cached, nullptr);
    EXPECT_STREQ(value_as_string(v.v), "");
    EXPECT_EQ(value_as_integer(v.v, 17), 0);
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 1.5), 0.0);
    EXPECT_FALSE(value_as_boolean(v.v));
}

TEST(ValueConversion, Integer)
{
    ValueHandle v(create_value(TYPE_INTEGER, -42));
    EXPECT_STREQ(value_as_string(v.v), "-42");
    EXPECT_EQ(value_as_integer(v.v, 0), -42);
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 0), -42.0);
    EXPECT_TRUE(value_as_boolean(v.v));
    value_set(v.v, TYPE_INTEGER, 0);
    EXPECT_FALSE(value_as_boolean(v.v));
    EXPECT_STREQ(value_as_string(v.v), "0");
}

TEST(ValueConversion, FloatTwoDecimalsAndTruncation)
{
    ValueHandle v(create_value(TYPE_FLOAT, 2.5));
    EXPECT_STREQ(value_as_string(v.v), "2.50");
    EXPECT_EQ(value_as_integer(v.v, 9), 2);
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 0), 2.5);
    EXPECT_TRUE(value_as_boolean(v.v));

    value_set(v.v, TYPE_FLOAT, -2.7);
    EXPECT_EQ(value_as_integer(v.v, 0), -2);  // toward zero
    EXPECT_STREQ(value_as_string(v.v), "-2.70");

    value_set(v.v, TYPE_FLOAT, 0.0);
    EXPECT_FALSE(value_as_boolean(v.v));
    EXPECT_STREQ(value_as_string(v.v), "0.00");
}

TEST(ValueConversion, LargeFloatIsRenderedWhole)
{
    ValueHandle v(create_value(TYPE_FLOAT, 1e300));
    const std::string s = value_as_string(v.v);
    EXPECT_EQ(s.size(), 304u);  // 301 digits, the point and two decimals
    EXPECT_EQ(s.substr(s.size() - 3), ".00");
}

TEST(ValueConversion, NumericStrings)
{
    ValueHandle v(string_value("2.5"));
    EXPECT_EQ(value_as_integer(v.v, 9), 2);
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 9), 2.5);

    value_set(v.v, TYPE_STRING, dup_cstring("2.9"));
    EXPECT_EQ(value_as_integer(v.v, 9), 2);

    value_set(v.v, TYPE_STRING, dup_cstring("+7"));
    EXPECT_EQ(value_as_integer(v.v, 9), 7);

    value_set(v.v, TYPE_STRING, dup_cstring("-13"));
    EXPECT_EQ(value_as_integer(v.v, 9), -13);

    value_set(v.v, TYPE_STRING, dup_cstring("5."));
    EXPECT_EQ(value_as_integer(v.v, 9), 5);

    value_set(v.v, TYPE_STRING, dup_cstring("."));  // numeric, reads as 0
    EXPECT_EQ(value_as_integer(v.v, 9), 0);
}

TEST(ValueConversion, NonNumericStrings)
{
    ValueHandle v(string_value("12abc"));
    EXPECT_EQ(value_as_integer(v.v, 99), 99);
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 99), 12.0);
    EXPECT_TRUE(value_as_boolean(v.v));

    for (const char *s : {"-", "", " 5", "1.2.3", "5 ", "1e3", "0x10"}) {
        value_set(v.v, TYPE_STRING, dup_cstring(s));
        EXPECT_EQ(value_as_integer(v.v, 99), 99) << "'" << s << "'";
    }

    value_set(v.v, TYPE_STRING, dup_cstring("abc"));
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 99), 0.0);
    value_set(v.v, TYPE_STRING, dup_cstring(" 5"));
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 99), 5.0);  // strtod skips leading blanks
}

TEST(ValueConversion, StringTruth)
{
    ValueHandle v(new_value());
    for (const char *s : {"0", "0.00", "-0", "", "+0", "."}) {
        value_set(v.v, TYPE_STRING, dup_cstring(s));
        EXPECT_FALSE(value_as_boolean(v.v)) << "'" << s << "'";
    }
    for (const char *s : {"00x", "no", "false", "1", "0.01", " ", "-"}) {
        value_set(v.v, TYPE_STRING, dup_cstring(s));
        EXPECT_TRUE(value_as_boolean(v.v)) << "'" << s << "'";
    }
}

TEST(ValueConversion, NullStringPayload)
{
    ValueHandle v(create_value(TYPE_STRING, static_cast<char *>(nullptr)));
    EXPECT_STREQ(value_as_string(v.v), "");
    EXPECT_EQ(value_as_integer(v.v, 4), 4);
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 4.5), 4.5);
    EXPECT_FALSE(value_as_boolean(v.v));
}

TEST(ValueConversion, NestedDictionary)
{
    var *nested = new_var("[P]");
    ValueHandle v(create_value(TYPE_VAR, nested));
    EXPECT_STREQ(value_as_string(v.v), "{TYPE_VAR}");
    EXPECT_EQ(value_as_integer(v.v, 3), 3);
    EXPECT_DOUBLE_EQ(value_as_float(v.v, 3.5), 3.5);
    EXPECT_TRUE(value_as_boolean(v.v));
    EXPECT_EQ(value_as_var(v.v), nested);

    value_set(v.v, TYPE_VAR, static_cast<var *>(nullptr));  // releases the nested one
    EXPECT_FALSE(value_as_boolean(v.v));
}

TEST(ValueConversion, TextConcatenatesItsStrings)
{
    char a[] = "ab", b[] = "", c[] = "cd";
    textstring n3{c, nullptr, nullptr};
    textstring n2{b, nullptr, &n3};
    textstring n1{a, nullptr, &n2};
    n2.previous = &n1;
    n3.previous = &n2;
    text t{&n1, &n3};

    ValueHandle v(create_value(TYPE_TEXT, &t));
    EXPECT_STREQ(value_as_string(v.v), "abcd");
    EXPECT_EQ(value_as_integer(v.v, 6), 6);
    EXPECT_TRUE(value_as_boolean(v.v));
    EXPECT_EQ(value_as_text(v.v), &t);

    text empty{nullptr, nullptr};
    value_set(v.v, TYPE_TEXT, &empty);
    EXPECT_FALSE(value_as_boolean(v.v));
    EXPECT_STREQ(value_as_string(v.v), "");

    value_set(v.v, TYPE_TEXT, static_cast<text *>(nullptr));
    EXPECT_FALSE(value_as_boolean(v.v));
    EXPECT_STREQ(value_as_string(v.v), "");
}

TEST(ValueConversion, ListIsEmptyTextAndTrueWhenFilled)
{
    list *l = new_list(1);
    ValueHandle v(create_value(TYPE_LIST, l));
    EXPECT_STREQ(value_as_string(v.v), "");
    EXPECT_EQ(value_as_integer(v.v, 8), 8);
    EXPECT_FALSE(value_as_boolean(v.v));
    list_append(l, create_value(TYPE_INTEGER, 1));
    EXPECT_TRUE(value_as_boolean(v.v));
    EXPECT_EQ(value_as_list(v.v), l);
    value_reset(v.v);  // a list is not owned by the value
    EXPECT_EQ(l->count, 1);
    free_list(l);
}

TEST(ValueConversion, VoidPrintsThePointer)
{
    int target = 0;
    ValueHandle v(create_value(TYPE_VOID, &target));
    char expected[64];
    std::snprintf(expected, sizeof expected, "%p", static_cast<void *>(&target));
    EXPECT_STREQ(value_as_string(v.v), expected);
    EXPECT_EQ(value_as_integer(v.v, 5), 5);
    EXPECT_TRUE(value_as_boolean(v.v));
    EXPECT_EQ(value_as_void(v.v), &target);
    value_set(v.v, TYPE_VOID, static_cast<void *>(nullptr));
    EXPECT_FALSE(value_as_boolean(v.v));
}

TEST(ValueConversion, TypedAccessorsRefuseOtherTypes)
{
    ValueHandle v(create_value(TYPE_INTEGER, 3));
    EXPECT_EQ(value_as_var(v.v), nullptr);
    EXPECT_EQ(value_as_text(v.v), nullptr);
    EXPECT_EQ(value_as_list(v.v), nullptr);
    EXPECT_EQ(value_as_void(v.v), nullptr);
    EXPECT_EQ(value_as_var(nullptr), nullptr);
}

// ---- setting and caching ---------------------------------------------------

TEST(ValueSet, TextRenderingIsCachedUntilTheValueChanges)
{
    ValueHandle v(create_value(TYPE_INTEGER, 12));
    const char *first = value_as_string(v.v);
    EXPECT_EQ(v.v->cached, first);
    EXPECT_EQ(value_as_string(v.v), first);  // same string, made once

    value_set(v.v, TYPE_INTEGER, 13);
    EXPECT_EQ(v.v->cached, nullptr);
    EXPECT_STREQ(value_as_string(v.v), "13");
}

TEST(ValueSet, StringIsReturnedItselfWithoutCache)
{
    char *s = dup_cstring("hello");
    ValueHandle v(create_value(TYPE_STRING, s));
    EXPECT_EQ(value_as_string(v.v), s);
    EXPECT_EQ(v.v->cached, nullptr);
}

TEST(ValueSet, TypeAboveSevenBecomesNone)
{
    ValueHandle v(create_value(TYPE_INTEGER, 5));
    value_set(v.v, 8, 77);
    EXPECT_EQ(v.v->type, TYPE_NONE);
    EXPECT_EQ(value_as_integer(v.v, 9), 0);

    DictHandle d("[D]");
    var *x = set_var(d.get(), "X", 42, 1);
    EXPECT_EQ(x->value->type, TYPE_NONE);
}

TEST(ValueSet, ResetKeepsTypeAndDropsPayloadAndCache)
{
    ValueHandle v(string_value("abc"));
    value_reset(v.v);
    EXPECT_EQ(v.v->type, TYPE_STRING);
    EXPECT_EQ(v.v->payload.p, nullptr);
    EXPECT_STREQ(value_as_string(v.v), "");

    value_set(v.v, TYPE_FLOAT, 1.25);
    (void)value_as_string(v.v);
    value_reset(v.v);
    EXPECT_EQ(v.v->type, TYPE_FLOAT);
    EXPECT_EQ(v.v->cached, nullptr);
}

TEST(ValueSet, VarValueSetCreatesMissingValue)
{
    DictHandle d("[D]");
    free_value(d.d->value);
    d.d->value = nullptr;
    var_value_set(d.d, TYPE_FLOAT, 3.0);
    ASSERT_NE(d.d->value, nullptr);
    EXPECT_STREQ(value_as_string(d.d->value), "3.00");
    var_value_set(d.d, TYPE_STRING, dup_cstring("x"));
    EXPECT_STREQ(value_as_string(d.d->value), "x");
}

// ---- names -------------------------------------------------------------------

TEST(NameHash, SignedBytesShiftedByPositionModulo32)
{
    EXPECT_EQ(var_name_hash(""), 0u);
    EXPECT_EQ(var_name_hash("A"), 65u);
    EXPECT_EQ(var_name_hash("AB"), 65u ^ (66u << 1));
    EXPECT_EQ(var_name_hash("\x80"), 0xFFFFFF80u);         // widened with its sign
    EXPECT_EQ(var_name_hash("a\xff"), 97u ^ 0xFFFFFFFEu);
    const std::string at32 = std::string(32, 'Z') + "A";
    EXPECT_EQ(var_name_hash(at32), var_name_hash(std::string(32, 'Z')) ^ 65u);  // shift wraps to 0
    EXPECT_EQ(var_name_hash("AA"), var_name_hash(std::string_view("AA")));

    var *v = new_var("PRICE");
    EXPECT_EQ(v->hash, var_name_hash("PRICE"));
    free_var(v);
}

TEST(NameHash, GeneratedNamesCountUp)
{
    CString a(new_varname());
    CString b(new_varname());
    ASSERT_EQ(a.p[0], ' ');
    const long n = std::strtol(a.p + 1, nullptr, 10);
    EXPECT_EQ(b.str(), " " + std::to_string(n + 1));

    var *v = new_var(nullptr);
    EXPECT_EQ(std::string(v->name), " " + std::to_string(n + 2));
    EXPECT_EQ(v->value->type, TYPE_NONE);
    EXPECT_EQ(v->next, nullptr);
    EXPECT_EQ(v->previous, nullptr);
    free_var(v);
}

// ---- debug rendering ---------------------------------------------------------

TEST(DictAsString, RendersHeadAndEntries)
{
    DictHandle d("[X]");
    set_var(d.get(), "A", TYPE_INTEGER, 1);
    CString s(dict_as_string(d.get()));
    EXPECT_EQ(s.str(), "{ '[X]' => \"\", 'A' => \"1\" }");

    set_var(d.get(), "B", TYPE_STRING, dup_cstring("x y"));
    CString s2(dict_as_string(d.get()));
    EXPECT_EQ(s2.str(), "{ '[X]' => \"\", 'A' => \"1\", 'B' => \"x y\" }");

    CString empty(dict_as_string(nullptr));
    EXPECT_EQ(empty.str(), "");
}

}  // namespace
