// The products-file line reader and get_product_fp, on in-memory files.
#include "catalog/product_sources.h"
#include "catalog_test_util.h"

#include <cstdio>
#include <memory>
#include <vector>

using namespace catalog_test;

namespace {

struct Read {
    int result;
    std::string name, value;
    bool operator==(const Read &) const = default;
};
std::ostream &operator<<(std::ostream &os, const Read &r)
{
    return os << "{" << r.result << ", \"" << r.name << "\", \"" << r.value << "\"}";
}

struct MemFile {
    explicit MemFile(const std::string &text) : text_(text), file(fmemopen(text_.data(), text_.size(), "r")) {}
    ~MemFile() { std::fclose(file); }
    std::string text_;
    FILE *file;
};

// Every line result of `text` up to and including the end of file.
std::vector<Read> read_all(const std::string &text, bool skuid_only = false)
{
    MemFile f(text);
    std::vector<Read> out;
    ProductLine line;
    for (;;) {
        const int r = get_product_line(f.file, line, skuid_only);
        out.push_back({r, r > 0 ? line.name : "", r > 0 ? line.value : ""});
        if (r < 0 || out.size() > 50) return out;
    }
}

}  // namespace

TEST(ProductLine, ReadsNamesValuesCommentsAndEscapes)
{
    EXPECT_EQ(read_all("# widgets\nSKUID: w-100\nNAME:  Blue widget   # shown in the cart\n"
                       "PRICE: 12.50\nNOTE:  Ships in a \\#2 box\n"),
              (std::vector<Read>{{0, "", ""},
                                 {3, "SKUID", "W-100"},
                                 {2, "NAME", "Blue widget"},
                                 {2, "PRICE", "12.50"},
                                 {2, "NOTE", "Ships in a #2 box"},
                                 {-1, "", ""}}));
    // Ignored name characters, a "#" before the colon, no colon, an empty
    // value, a backslash before anything else, tabs around the value.
    EXPECT_EQ(read_all("Unit Price: 3\n#NAME: x\nno colon here\nNAME:\nA\\B: c:\\d\\\nx_y-z:\t v \t\n"),
              (std::vector<Read>{{2, "UNITPRICE", "3"},
                                 {0, "", ""},
                                 {0, "", ""},
                                 {2, "NAME", ""},
                                 {2, "AB", "c:\\d\\"},
                                 {2, "X_Y-Z", "v"},
                                 {-1, "", ""}}));
}

TEST(ProductLine, LineEndsAndTheEndOfTheFile)
{
    // CR ends a line; the LF after it is an empty line.
    EXPECT_EQ(read_all("A: 1\rB: 2\r\nC: 3"), (std::vector<Read>{{2, "A", "1"},
                                                                 {2, "B", "2"},
                                                                 {0, "", ""},
                                                                 {2, "C", "3"},  // no line end: still read
                                                                 {-1, "", ""}}));
    // The end of the file met while skipping a comment.
    EXPECT_EQ(read_all("PRICE: 4 # cheap"), (std::vector<Read>{{1, "PRICE", "4"}, {-1, "", ""}}));
    EXPECT_EQ(read_all("SKUID: a # x"), (std::vector<Read>{{3, "SKUID", "A"}, {-1, "", ""}}));
    EXPECT_EQ(read_all(""), (std::vector<Read>{{-1, "", ""}}));
    EXPECT_EQ(read_all("text"), (std::vector<Read>{{0, "", ""}, {-1, "", ""}}));
}

TEST(ProductLine, LongNamesAndValues)
{
    const std::string long_name(129, 'N');
    EXPECT_EQ(read_all(long_name + ": v\nA: b\n")[0].result, 0);
    EXPECT_EQ(read_all(std::string(128, 'N') + ": v\n")[0], (Read{2, std::string(128, 'N'), "v"}));
    // A value is cut at 8192 characters and the rest of its line skipped.
    const std::vector<Read> cut = read_all("D: " + std::string(8192, 'x') + "yyy\nE: 1\n");
    EXPECT_EQ(cut[0], (Read{2, "D", std::string(8192, 'x')}));
    EXPECT_EQ(cut[1], (Read{2, "E", "1"}));
}

TEST(ProductLine, SkuidOnlyModeTakesExactlySkuidLines)
{
    const std::string text = "SKU_ID: a\nSKUIDS: b\nS k\tu I d : c\nNAME: d\nSKU: e\n";
    EXPECT_EQ(read_all(text, true), (std::vector<Read>{{0, "", ""},
                                                       {0, "", ""},
                                                       {3, "SKUID", "C"},
                                                       {0, "", ""},
                                                       {0, "", ""},
                                                       {-1, "", ""}}));
    EXPECT_EQ(read_all(text)[1], (Read{2, "SKUIDS", "b"}));
}

TEST_F(CatalogTest, GetProductFpReadsOneRecordAndItsNextSkuidLine)
{
    set_integer(DICT_SELECTED, "B", 4);
    MemFile f("SKUID: a\nNAME: first\nSKUID: b\nNAME: second\nPRICE: 2\n");
    var *a = get_product_fp(f.file);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(field("A", "NAME"), "first");
    EXPECT_EQ(field("A", "SKUID"), "A");
    // The record of B lost its SKUID line to A's reading.
    EXPECT_EQ(get_product_fp(f.file), nullptr);
    EXPECT_EQ(get_product("B"), nullptr);

    MemFile g("SKUID: b\nPRICE: 2\nSKUID: a\nNAME: again\n");
    ASSERT_NE(get_product_fp(g.file), nullptr);
    EXPECT_EQ(field("B", "QUANTITY"), "4");
    EXPECT_EQ(get_product_fp(g.file), nullptr);  // no SKUID line here
    MemFile h("SKUID: a\nNAME: again\n");
    EXPECT_EQ(get_product_fp(h.file), nullptr);  // A is loaded already
    EXPECT_EQ(field("A", "NAME"), "first");
}
