// Rendering texts and strings: elements in place of their tags, paired
// elements and their raw bodies, nesting, the swallowed line break, errors,
// the depth bound, and the file entry points.
#include "ovml_support.h"

#include "config/config.h"
#include "support/cgi_harness.h"
#include "vars/vars.h"

#include <cstdio>
#include <string>

using namespace ovml_test;

namespace {

std::string render(std::string_view text) { return render_OVML_Text(OVMLText::from_string(text)); }

}  // namespace

TEST_F(OVMLTest, PlainTextPassesThroughUnchanged) {
    const std::string page = "<html>\r\n<head><title>Shop</title></head>\n\n<body>100% cotton\n"
                             "the Orvel engine, ORVEL_LOOP in prose\nno newline at end";
    EXPECT_EQ(render(page), page);
    EXPECT_EQ(render(""), "");
    EXPECT_EQ(render_OVML_String(""), "");
}

TEST_F(OVMLTest, TokensAreExpandedOutsideTags) {
    set_string(DICT_CONFIG, "STORE_NAME", "Corner Shop");
    EXPECT_EQ(render("<h1>%OVM_STORE_NAME</h1>\nplain\n"), "<h1>Corner Shop</h1>\nplain\n");
    EXPECT_EQ(render_OVML_Line("a %OVM_STORE_NAME b"), "a Corner Shop b");
    // Text before a tag is rendered too.
    EXPECT_EQ(render("%OVM_STORE_NAME <ORVEL_ECHO x>!\n"), "Corner Shop [ORVEL_ECHO x]!\n");
}

TEST_F(OVMLTest, ElementsReplaceTheirTags) {
    EXPECT_EQ(render("a <ORVEL_ECHO A=1> b <orvel-echo B=2>c\n"), "a [ORVEL_ECHO A=1] b [orvel-echo B=2]c\n");
    EXPECT_EQ(render("<ORVEL_COUNT><ORVEL_COUNT><ORVEL_COUNT>\n"), "123");
}

TEST_F(OVMLTest, TagAloneOnItsLineSwallowsTheLineBreak) {
    EXPECT_EQ(render("a\n<ORVEL_QUIET>\nb\n"), "a\nb\n");
    EXPECT_EQ(render("a\n<ORVEL_QUIET>\r\nb\n"), "a\nb\n");
    // Anything after the tag, even blanks, keeps the rest of the line.
    EXPECT_EQ(render("a\n<ORVEL_QUIET> \nb\n"), "a\n \nb\n");
    EXPECT_EQ(render("a\n  <ORVEL_QUIET>\nb\n"), "a\n  b\n");
}

TEST_F(OVMLTest, UnknownElementLeavesCommentAndError) {
    EXPECT_EQ(render("x<ORVEL_FOO a=1>y\n"), "x<!-- Unrecognized Orvel Tag \"ORVEL_FOO\" -->y\n");
    EXPECT_EQ(var_string(DICT_ORVEL, "ERROR"), "Unrecognized Orvel Tag \"ORVEL_FOO\"");
    // Rendering goes on after the error.
    EXPECT_EQ(render("<orvel-foo-bar>\n<ORVEL_ECHO>\n"),
              "<!-- Unrecognized Orvel Tag \"orvel_foo_bar\" -->[ORVEL_ECHO]");
}

TEST_F(OVMLTest, TagOverThreeLines) {
    EXPECT_EQ(render("a <ORVEL_ECHO X=1\nY=\"2>3\"\nZ=4> b\nc\n"), "a [ORVEL_ECHO X=1\nY=\"2>3\"\nZ=4] b\nc\n");
}

TEST_F(OVMLTest, PairedElementGetsItsRawBody) {
    EXPECT_EQ(render("<ORVEL_RAW>\nline %OVM_X\n<ORVEL_COUNT>\n</ORVEL_RAW>\nafter\n"),
              "{line %OVM_X\n}{<ORVEL_COUNT>}after\n");
    EXPECT_EQ(counters().count, 0);  // the body was never rendered
    // Leading text and tags on one line stay separate lines of the body.
    EXPECT_EQ(render("<ORVEL_RAW>a <ORVEL_ECHO q='>'> b</ORVEL_RAW>c\n"), "{a }{<ORVEL_ECHO q='>'>}{ b}c\n");
}

TEST_F(OVMLTest, BodyIsRenderedOncePerPass) {
    EXPECT_EQ(render("<ORVEL_REPEAT COUNT=3>\n<ORVEL_COUNT>,\n</ORVEL_REPEAT>\n"), "1,\n2,\n3,\n");
    EXPECT_EQ(counters().count, 3);
}

TEST_F(OVMLTest, NestedSameNamedElementsPairCorrectly) {
    const std::string page = "<ORVEL_REPEAT COUNT=2>\n"
                             "outer\n"
                             "<orvel-repeat count=3>\n"
                             "<ORVEL_COUNT>\n"
                             "</orvel_repeat>\n"
                             "|\n"
                             "</ORVEL_REPEAT>\n"
                             "end\n";
    EXPECT_EQ(render(page), "outer\n123|\nouter\n456|\nend\n");
    EXPECT_EQ(counters().count, 6);
    // The inner pair stays text in the outer body.
    EXPECT_EQ(render("<ORVEL_RAW><ORVEL_RAW>x</ORVEL_RAW>y</ORVEL_RAW>\n"),
              "{<ORVEL_RAW>}{x}{</ORVEL_RAW>}{y}");
}

TEST_F(OVMLTest, OtherElementsInABodyAreOnlyText) {
    EXPECT_EQ(render("<ORVEL_RAW>a<ORVEL_ECHO>b<ORVEL_FOO></ORVEL_RAW>\n"), "{a}{<ORVEL_ECHO>}{b}{<ORVEL_FOO>}");
    EXPECT_FALSE(var_defined(DICT_ORVEL, "ERROR"));
    // Only the open element's own tags are counted: its closing tag ends it
    // even where it stands inside another element's body.
    EXPECT_EQ(render("<ORVEL_REPEAT COUNT=2><ORVEL_RAW>a</ORVEL_REPEAT>b</ORVEL_RAW></ORVEL_REPEAT>!\n"),
              "b(no body: /ORVEL_REPEAT)!\n");
}

TEST_F(OVMLTest, SelfClosedPairedElementRunsAtOnce) {
    EXPECT_EQ(render("<ORVEL_REPEAT TYPE=DUMP/>\nnext\n"), "(no body: ORVEL_REPEAT TYPE=DUMP/)next\n");
    // Inside a body of its own kind it does not wait for a closing tag.
    EXPECT_EQ(render("<ORVEL_RAW>a<ORVEL_RAW X/>b</ORVEL_RAW>c\n"), "{a}{<ORVEL_RAW X/>}{b}c\n");
}

TEST_F(OVMLTest, UnfinishedTagOrElementYieldsNothingMore) {
    EXPECT_EQ(render("a\n<ORVEL_ECHO x=\"1>\nb\n"), "a\n");
    EXPECT_EQ(render("a\n<ORVEL_REPEAT>\nb\n"), "a\n");
    EXPECT_EQ(render_OVML_String("x <ORVEL_RAW>y"), "x ");
}

TEST_F(OVMLTest, StringIsRoutedAsOneLine) {
    EXPECT_EQ(render_OVML_String("<ORVEL_ECHO A=1> and <ORVEL_ECHO B=2>"), "[ORVEL_ECHO A=1] and [ORVEL_ECHO B=2]");
    // Within one string a line break after a tag is not the end of a line.
    EXPECT_EQ(render_OVML_String("<ORVEL_QUIET>\nx"), "\nx");
    EXPECT_EQ(render_OVML_String("<ORVEL_QUIET>\n"), "");
    EXPECT_EQ(render_OVML_String("<ORVEL_REPEAT COUNT=2>ab</ORVEL_REPEAT>"), "abab");
}

TEST_F(OVMLTest, ConfiguredTagCharacters) {
    TagChars chars('[', ']');
    EXPECT_EQ(render("<ORVEL_ECHO> [ORVEL_ECHO A=[x]]\n"), "<ORVEL_ECHO> [ORVEL_ECHO A=[x]]");
    EXPECT_EQ(render("[ORVEL_REPEAT COUNT=2][ORVEL_RAW]<b>[/ORVEL_RAW][/ORVEL_REPEAT]\n"), "{<b>}{<b>}");
    // Tags put back into a body are rebuilt with the configured characters.
    EXPECT_EQ(render("[ORVEL_RAW][ORVEL_ECHO x][/ORVEL_RAW]\n"), "{[ORVEL_ECHO x]}");
}

TEST_F(OVMLTest, RenderDepthCountsNestedBodies) {
    EXPECT_EQ(render("<ORVEL_DEPTH>\n"), "1");
    EXPECT_EQ(render("<ORVEL_REPEAT><ORVEL_REPEAT><ORVEL_DEPTH></ORVEL_REPEAT></ORVEL_REPEAT>\n"), "3");
    EXPECT_EQ(OVML_render_depth(), 0);
}

TEST_F(OVMLTest, SelfRecursionStopsAtTheBound) {
    ChildResult child = run_in_child([] { render("<ORVEL_RECURSE>\n"); });
    EXPECT_EQ(child.exit_status, 1);
    // The 100th nested render calls the element once more; the 101st stops.
    EXPECT_NE(child.output.find("level 100\n"), std::string::npos);
    EXPECT_EQ(child.output.find("level 101\n"), std::string::npos);
    EXPECT_NE(child.output.find("Orvel has rendered recursive OVML body #100, and can safely handle no more.  "
                                "The merchant should examine eir OVML"),
              std::string::npos)
        << child.output;
}

TEST_F(OVMLTest, LargeTextMatchesLineByLineExpectation) {
    set_string(DICT_CONFIG, "N", "v");
    std::string page, expected;
    for (int i = 0; i < 3000; ++i) {
        switch (i % 5) {
        case 0: page += "<p>plain line " + std::to_string(i) + "</p>\n"; expected += "<p>plain line " + std::to_string(i) + "</p>\n"; break;
        case 1: page += "%OVM_N;\n"; expected += "v;\n"; break;
        case 2: page += "<ORVEL_QUIET>\n"; break;
        case 3: page += "x<ORVEL_ECHO>y\n"; expected += "x[ORVEL_ECHO]y\n"; break;
        case 4: page += "<ORVEL_REPEAT COUNT=2>ab\n</ORVEL_REPEAT>\n"; expected += "ab\nab\n"; break;
        }
    }
    EXPECT_EQ(render(page), expected);
}

class OVMLFiles : public OVMLTest {
protected:
    orvel_test::TempDir dir;
    std::string path(const char *name) const { return dir.path() + "/" + name; }
};

TEST_F(OVMLFiles, ReadKeepsLineBreaksAndTurnsLoneReturnsIntoLineFeeds) {
    dir.write("t.html", "one\r\ntwo\rthree\nfour");
    std::optional<OVMLText> text = read_OVML_File(path("t.html"));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->lines(), (std::vector<std::string>{"one\r\n", "two\n", "three\n", "four"}));
    EXPECT_FALSE(read_OVML_File(path("missing.html")).has_value());
}

TEST_F(OVMLFiles, RenderAndInterpret) {
    dir.write("t.html", "a <ORVEL_COUNT>\n<ORVEL_COUNT>\n");
    EXPECT_EQ(render_OVML_File(path("t.html")).value_or("?"), "a 12");
    EXPECT_FALSE(render_OVML_File(path("missing.html")).has_value());
    EXPECT_EQ(interpret_OVML_File(path("t.html")), 1);
    EXPECT_EQ(counters().count, 4);  // rendered for its effects
    EXPECT_EQ(interpret_OVML_File(path("missing.html")), 0);
}

TEST_F(OVMLFiles, PrintIntoAStream) {
    dir.write("t.html", "<b><ORVEL_ECHO></b>\n");
    FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    fprint_OVML_File(out, path("t.html"));
    std::rewind(out);
    char buf[64] = {};
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(buf, n), "<b>[ORVEL_ECHO]</b>\n");

    ChildResult child = run_in_child([this] { fprint_OVML_File(stdout, path("missing.html")); });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_EQ(child.output, "");
}

TEST_F(OVMLFiles, PrintPageWritesHeadersThenTheRenderedPage) {
    dir.write("page.html", "<p>%OVH_TOP_DOC</p>\n<ORVEL_QUIET>\n<ORVEL_ECHO>\n");
    ChildResult child = run_in_child([this] { print_OVML_File(path("page.html")); });
    EXPECT_EQ(child.exit_status, 0);
    const std::size_t body = child.output.find("\n\n");
    ASSERT_NE(body, std::string::npos) << child.output;
    EXPECT_NE(child.output.substr(0, body).find("Content-type: text/html"), std::string::npos) << child.output;
    EXPECT_EQ(child.output.substr(body + 2), "<p>" + path("page.html") + "</p>\n[ORVEL_ECHO]");
}

TEST_F(OVMLFiles, UnreadablePageEndsTheRequest) {
    const std::string missing = dir.path() + "/a&b<c>.html";
    ChildResult child = run_in_child([&] { print_OVML_File(missing); });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_NE(child.output.find("Failed to open file \"" + dir.path() + "/a&amp;b&lt;c&gt;.html\" for OVML rendering."),
              std::string::npos)
        << child.output;
}
