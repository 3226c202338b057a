// fill_products over the products file: what is loaded and how, missing
// and optioned products, the scan's shortcuts against the line-by-line
// reading, and the steps after loading.
#include "catalog/product_sources.h"
#include "catalog/selection.h"
#include "catalog_test_util.h"
#include "platform/log.h"

#include <cstdio>
#include <map>
#include <random>

using namespace catalog_test;

namespace {

const char *const WIDGETS = "# widgets\n"
                            "SKUID: w-100\n"
                            "NAME:  Blue widget   # shown in the cart\n"
                            "PRICE: 12.50\n"
                            "NAME: Blue widget, large\n"
                            "\n"
                            "SKUID: W-200\n"
                            "NAME: Red widget\n"
                            "PRICE:\n"
                            "GROUP: Garden tools, sale\n"
                            "SKUID: W-100\n"
                            "NAME: a second W-100\n"
                            "SKUID: W-300\n"
                            "GROUP: Toolset\n"
                            "NAME: Green widget\n"
                            "PRICE: 7.25";  // the last line has no line end

// The records of a products file as the line-by-line reader gives them:
// every field line in order, the first occurrence of a SKUID winning.
std::map<std::string, std::map<std::string, std::string>> reference_records(const std::string &text)
{
    std::map<std::string, std::map<std::string, std::string>> records;
    FILE *f = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    ProductLine line;
    std::map<std::string, std::string> *current = nullptr;
    for (;;) {
        const int r = get_product_line(f, line, false);
        if (r < 0) break;
        if (r == PRODUCT_LINE_SKUID)
            current = records.count(line.value) ? nullptr : &records[line.value];
        else if (r > 0 && current)
            (*current)[line.name] = line.value;
        if (r == PRODUCT_LINE_EOF_FIELD) break;
    }
    std::fclose(f);
    return records;
}

}  // namespace

TEST_F(CatalogTest, LoadsTheWantedRecordsAsWritten)
{
    products(WIDGETS);
    set_integer(DICT_SELECTED, "W-100", 2);
    fill({"W-100", "W-300"});
    EXPECT_EQ(field("W-100", "NAME"), "Blue widget, large");  // the later line wins
    EXPECT_EQ(field("W-100", "PRICE"), "12.50");
    EXPECT_EQ(type_of("W-100", "PRICE"), TYPE_STRING);
    EXPECT_EQ(field("W-100", "SKUID"), "W-100");
    EXPECT_EQ(field("W-100", "QUANTITY"), "2");
    EXPECT_EQ(field("W-300", "QUANTITY"), "0");
    EXPECT_EQ(field("W-300", "PRICE"), "7.25");  // the unterminated last line counts
    EXPECT_EQ(get_product("W-200"), nullptr);    // not asked for
    EXPECT_EQ(value_view(get_product("W-100")->value), "W-100");
    EXPECT_EQ(ovmlsub("%OVI_SKUID"), "");  // nothing current yet
    current_product(get_product("W-300"));
    EXPECT_EQ(ovmlsub("%OVI_SKUID %OVI_NAME"), "W-300 Green widget");

    fill({"W-200"});
    EXPECT_EQ(type_of("W-200", "PRICE"), TYPE_NONE);
    EXPECT_EQ(get_OVML_DBREF_Info("W-200", "PRICE"), "0.00");
}

TEST_F(CatalogTest, LowerCaseRequestsDoNotMatchTheUpperCasedFile)
{
    products(WIDGETS);
    fill({"w-100"});
    EXPECT_EQ(field("w-100", "?MISSING"), "1");
    EXPECT_EQ(get_product("W-100"), nullptr);
}

TEST_F(CatalogTest, LoadedProductsAreNotLookedUpAgain)
{
    products(WIDGETS);
    fill({"W-100"});
    ::unlink((dir.path() + "/products.txt").c_str());
    fill({"W-100"});  // no file is opened: it would end the request
    fill({});
    EXPECT_EQ(field("W-100", "PRICE"), "12.50");
}

TEST_F(CatalogTest, MissingAndOptionedProducts)
{
    products(std::string(WIDGETS) + "\nSKUID: SHIRT\nPRICE: 10\n");
    set_integer(DICT_SELECTED, "GONE", 3);
    fill({"SHIRT-L", "GONE", "W-100-L"});
    // The base of an optioned SKUID (the text before the first delimiter)
    // is loaded with it.
    EXPECT_EQ(field("SHIRT", "PRICE"), "10");
    EXPECT_EQ(field("SHIRT-L", "NAME"), "Missing SKUID SHIRT-L");
    EXPECT_EQ(field("W", "?MISSING"), "1");
    EXPECT_EQ(get_product("W-100"), nullptr);
    EXPECT_EQ(field("GONE", "NAME"), "Missing SKUID GONE");
    EXPECT_EQ(type_of("GONE", "PRICE"), TYPE_FLOAT);
    EXPECT_EQ(field("GONE", "QUANTITY"), "0");
    EXPECT_EQ(field("GONE", "?MISSING"), "1");
    EXPECT_EQ(field("SHIRT", "?MISSING"), "<absent>");
}

TEST_F(CatalogTest, MissingTextFromTheDeprecatedConfigField)
{
    orvel_test::WorkingDirectory cwd(dir.path());
    dir.write("orvel.dep", "");
    reset_log_state();
    products(WIDGETS);
    set_string(DICT_CONFIG, "MISSING_SKUID_MSG", "No %s here, %s");
    fill({"X1", "X2"});
    EXPECT_EQ(field("X1", "NAME"), "No X1 here, X1");
    set_string(DICT_CONFIG, "MISSING_SKUID_MSG", "changed");
    new_missing_product("X3");
    EXPECT_EQ(field("X3", "NAME"), "No X3 here, X3");  // computed once
    const std::string log = dir.read("orvel.dep");
    EXPECT_NE(log.find("deprecated: MISSING_SKUID_MSG config field; use MISSING_SKUID field in custom.rules instead."),
              std::string::npos);
    reset_log_state();
}

// Awkward files read through fill_products give exactly the records the
// line-by-line reader gives.
TEST_F(CatalogTest, ScanAgreesWithTheLineReader)
{
    const std::vector<std::string> pieces = {
        "SKUID: p{}", " s K\tu I d : q{}", "SKU-ID: d{}", "sKuId:r{}", "#SKUID: c{}", "NOTE: SKUID: n{}",
        "SKUIDS: x{}", "S#KUID: h{}", "NAME: knick knack", "DESC: Kayak \\# kit # comment",
        "KSUID: k{}", "  :", "", "Price: {}", "S:K", "ss k u i d: z{}", "SKUID: p{}",
    };
    const char *ends[] = {"\n", "\r", "\r\n"};
    std::mt19937 random(7);
    int odd_skuid_lines = 0;
    for (int round = 0; round < 40; ++round) {
        std::string text;
        std::vector<std::string> asked;
        for (int i = 0; i < 60; ++i) {
            std::string piece = pieces[random() % pieces.size()];
            const std::size_t at = piece.find("{}");
            if (at != std::string::npos) piece.replace(at, 2, std::to_string(random() % 12));
            text += piece + ends[round % 3 == 2 ? random() % 3 : round % 3];
        }
        if (round % 4 == 0) text.pop_back();  // no final line end
        const auto expected = reference_records(text);
        products(text);
        for (const auto &[skuid, fields] : expected)
            if (random() % 2) asked.push_back(skuid);
        asked.push_back("NOT-THERE");
        var *list = list_of({});
        for (const std::string &s : asked) set_integer(list, s, 1);
        unset_var(DICT_PRODUCTS, "NOT-THERE");
        for (const std::string &s : asked) unset_var(DICT_PRODUCTS, s);
        fill_products(list);
        for (const std::string &s : asked) {
            if (s == "NOT-THERE") continue;
            var *record = get_product(s);
            ASSERT_NE(record, nullptr) << s << " in\n" << text;
            for (const auto &[name, value] : expected.at(s)) EXPECT_EQ(field(s, name), value) << s << "." << name;
            EXPECT_EQ(field(s, "?MISSING"), "<absent>") << s;
            if (s[0] == 'Q' || s[0] == 'R') ++odd_skuid_lines;
        }
        EXPECT_EQ(field("NOT-THERE", "?MISSING"), "1");
    }
    EXPECT_GT(odd_skuid_lines, 20);
}

TEST_F(CatalogTest, GroupQuantitiesCountWholeWords)
{
    products(WIDGETS);
    set_integer(DICT_SELECTED, "W-200", 3);  // Garden tools, sale
    set_integer(DICT_SELECTED, "W-300", 5);  // Toolset
    set_integer(DICT_SELECTED, "W-100", 1);  // no group
    EXPECT_EQ(get_selected_quantity_by_group("TOOLS"), 3);
    EXPECT_EQ(get_selected_quantity_by_group("toolset"), 5);
    EXPECT_EQ(get_selected_quantity_by_group("widgets"), 0);
}

TEST_F(CatalogTest, OvmlProductFieldsAreRenderedWithTheProductCurrent)
{
    products("SKUID: A\nNAME: Lamp\nBLURB: About the %OVI_NAME\nSKUID: B\nNAME: Desk\nBLURB: %OVI_NAME!\n");
    set_string(DICT_CONFIG, "OVML_PRODUCT_FIELDS", "blurb; tagline");
    var *before = new_product("C");
    current_product(before);
    fill({"A", "B"});
    EXPECT_EQ(field("A", "BLURB"), "About the Lamp");
    EXPECT_EQ(field("B", "BLURB"), "Desk!");
    EXPECT_EQ(field("B", "TAGLINE"), "");  // absent fields are set, empty
    EXPECT_EQ(current_product_skuid(), "C");

    set_string(DICT_TWEAKS, "FILL_PRODUCTS_RAW", "1");
    products("SKUID: D\nBLURB: %OVI_NAME\n");
    fill({"D"});
    EXPECT_EQ(field("D", "BLURB"), "%OVI_NAME");
}

TEST_F(CatalogTest, RanksAndSkuidChecks)
{
    set_integer(DICT_MATCHES, "M1", 7);
    new_product("M2");
    set_string(get_product("M2"), "NAME", "kept");
    set_integer(DICT_MATCHES, "M2", 3);
    add_ranks_to_matching_products();
    EXPECT_EQ(field("M1", "SEARCH_SCORE"), "7");
    EXPECT_EQ(field("M2", "SEARCH_SCORE"), "3");
    EXPECT_EQ(field("M2", "NAME"), "kept");

    EXPECT_EQ(is_invalid_skuid("Ab_9"), nullptr);
    EXPECT_STREQ(is_invalid_skuid("_A"), "SKUID does not begin with a letter or a number");
    EXPECT_STREQ(is_invalid_skuid(""), "SKUID does not begin with a letter or a number");
    EXPECT_STREQ(is_invalid_skuid("A-1"), "SKUID contains characters other than letters, numbers, and underscores");
}

TEST_F(CatalogTest, ProductsFilePaths)
{
    set_string(DICT_CONFIG, "PRODUCTS_FILE", "items.txt");
    set_string(DICT_SHOPPER, "THEME", "dark");
    EXPECT_EQ(get_products_file_pathname(), dir.path() + "/themes/dark/items.txt");
    EXPECT_EQ(get_products_file_pathname_readonly(), dir.path() + "//items.txt");
    dir.write("themes/dark/items.txt", "SKUID: T\n");
    EXPECT_EQ(get_products_file_pathname_readonly(), dir.path() + "/themes/dark//items.txt");
}

using CatalogDeathTest = CatalogTest;

TEST_F(CatalogDeathTest, UnreadableFileAndFailingScriptsEndTheRequest)
{
    const std::string page = dir.path() + "/page.txt";
    EXPECT_EXIT(
        {
            stdout_to(page);
            fill({"A"});
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(dir.read("page.txt").find("The products file (" + dir.path() + "//products.txt) could not be opened."),
              std::string::npos);

    products("SKUID: A\n");
    set_string(DICT_CONFIG, "MY_PRODUCTS", "info.cgi");
    EXPECT_EXIT(
        {
            stdout_to(page);
            fill({"A"});
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(dir.read("page.txt").find("Failed to open pipe to custom product info script \"info.cgi\".  Verify "
                                        "that the MY_PRODUCTS field"),
              std::string::npos);

    unset_var(DICT_CONFIG, "MY_PRODUCTS");
    set_string(DICT_CONFIG, "MY_PRODUCTS_TWEAK", "tweak.cgi");
    EXPECT_EXIT(
        {
            stdout_to(page);
            fill({"A"});
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_NE(dir.read("page.txt").find("Failed to open pipe to custom product tweaking script \"tweak.cgi\"."),
              std::string::npos);
}
