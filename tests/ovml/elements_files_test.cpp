// The file elements: BELCH writing under the store's directories, SLURP
// including files and script output, DIMS refusing unsafe paths.
#include "ovml_support.h"

#include "platform/files.h"
#include "support/cgi_harness.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

namespace {

using orvel_test::TempDir;

class ElementFiles : public ovml_test::OVMLTest {
protected:
    ElementFiles()
    {
        dir.write("cat/keep", "");
        dir.write("docs/keep", "");
        dir.write("catalog2/keep", "");
        set_string(DICT_CONFIG, "CAT_DIR", dir.path() + "/cat");
        set_string(DICT_CONFIG, "DOC_DIR", dir.path() + "/docs");
    }
    std::string belch(const std::string &attrs, const std::string &body)
    {
        return render_OVML_String("<ORVEL_BELCH " + attrs + ">" + body + "</ORVEL_BELCH>");
    }
    static bool starts_with(const std::string &s, const std::string &p) { return s.rfind(p, 0) == 0; }

    TempDir dir;
};

TEST_F(ElementFiles, BelchWritesAppendsAndClobbers)
{
    set_string(DICT_VARIABLES, "X", "one");
    EXPECT_EQ(belch("FILE=out.txt", "[%OVV_X]"), "");
    EXPECT_EQ(dir.read("cat/out.txt"), "[one]");

    // An existing file is left alone without APPEND or CLOBBER.
    const std::string refused = belch("FILE=out.txt", "two");
    EXPECT_TRUE(starts_with(refused, "<!-- ")) << refused;
    EXPECT_NE(refused.find("exists, but !append and !clobber"), std::string::npos);
    EXPECT_EQ(dir.read("cat/out.txt"), "[one]");

    EXPECT_EQ(belch("FILE=out.txt APPEND=1", "+two"), "");
    EXPECT_EQ(dir.read("cat/out.txt"), "[one]+two");
    EXPECT_EQ(belch("FILE=out.txt CLOBBER=1", "3"), "");
    EXPECT_EQ(dir.read("cat/out.txt"), "3");

    // BASEDIR may name the document directory; PROTECT sets the store's mode.
    EXPECT_EQ(belch("BASEDIR=\"" + dir.path() + "/docs\" FILE=page.html PROTECT=1", "p"), "");
    EXPECT_EQ(dir.read("docs/page.html"), "p");
    struct stat st;
    ASSERT_EQ(::stat((dir.path() + "/docs/page.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0022, 0u);
}

TEST_F(ElementFiles, BelchRefusesPathsOutsideTheStore)
{
    const std::string up = belch("FILE=\"../x\"", "bad");
    EXPECT_NE(up.find("is unsafe"), std::string::npos) << up;
    EXPECT_FALSE(dir.exists("x"));
    EXPECT_NE(belch("FILE=\"a/../../x\"", "bad").find("is unsafe"), std::string::npos);
    EXPECT_NE(belch("FILE=\"\"", "bad").find("is unsafe"), std::string::npos);

    // "/cat" is a prefix of "/catalog2" as text, but not as a directory.
    const std::string sibling = belch("BASEDIR=\"" + dir.path() + "/catalog2\" FILE=x", "bad");
    EXPECT_NE(sibling.find("not under CAT|DOC_DIR"), std::string::npos) << sibling;
    EXPECT_FALSE(dir.exists("catalog2/x"));
    EXPECT_NE(belch("BASEDIR=/tmp FILE=orvel-belch-test", "bad").find("not under"), std::string::npos);

    // Empty settings admit nothing.
    set_string(DICT_CONFIG, "CAT_DIR", "");
    set_string(DICT_CONFIG, "DOC_DIR", "");
    EXPECT_NE(belch("BASEDIR=\"" + dir.path() + "/cat\" FILE=y", "bad").find("not under"), std::string::npos);
    EXPECT_FALSE(dir.exists("cat/y"));
}

TEST_F(ElementFiles, SlurpRendersFilesFromTheDocumentDirectory)
{
    dir.write("docs/part.html", "<ORVEL_MATH VALUE=2 OP=x3 RESULT=six>\nsix=%OVV_SIX\n");
    EXPECT_EQ(render_OVML_String("<ORVEL_SLURP SRC=part.html>"), "six=6\n");

    EXPECT_NE(render_OVML_String("<ORVEL_SLURP>").find("Neither slurped file SRC"), std::string::npos);
    const std::string up = render_OVML_String("<ORVEL_SLURP SRC=\"../cat/keep\">");
    EXPECT_NE(up.find("is an invalid or forbidden path"), std::string::npos) << up;
    EXPECT_NE(render_OVML_String("<ORVEL_SLURP SRC=.hidden>").find("forbidden path"), std::string::npos);
    const std::string missing = render_OVML_String("<ORVEL_SLURP SRC=none.html>");
    EXPECT_NE(missing.find("Failed to open slurped file source \"" + dir.path() + "/docs/none.html\""),
              std::string::npos)
        << missing;
}

TEST_F(ElementFiles, SlurpExecReportsAScriptThatDidNotRun)
{
    const std::string out = render_OVML_String("<ORVEL_SLURP EXEC=report.sh ARGSTR=\"%OVE_NAME\">");
    EXPECT_NE(out.find("Failed to execute EXEC script \"report.sh\". (Love, Orvel)"), std::string::npos) << out;
    EXPECT_NE(render_OVML_String("<ORVEL_SLURP EXEC=\"../bin/sh\">").find("Failed to execute"), std::string::npos);
}

TEST_F(ElementFiles, DimsRefusesUnsafePathsAndReportsFailures)
{
    const std::string up = render_OVML_String("<ORVEL_DIMS SRC=\"../cat/a.gif\">");
    EXPECT_TRUE(starts_with(up, "<!-- Orvel-Dim: ../cat/a.gif: ")) << up;
    const std::string failed = render_OVML_String("<ORVEL_DIMS SRC=a.gif RESULT=A>");
    EXPECT_TRUE(starts_with(failed, "<!-- Orvel-Dim: " + dir.path() + "/docs/a.gif: ")) << failed;
    EXPECT_FALSE(var_defined(DICT_VARIABLES, "AX"));
    // A corrupt image names the reader's reason.
    dir.write("docs/bad.gif", "GIF90a");
    EXPECT_EQ(render_OVML_String("<ORVEL_DIMS SRC=bad.gif>"),
              "<!-- Orvel-Dim: " + dir.path() + "/docs/bad.gif: bad GIF version -->");
}

TEST_F(ElementFiles, DimsStoresTheImageSize)
{
    std::filesystem::copy_file(std::string(ORVEL_SOURCE_DIR) + "/tests/data/images/banner.png",
                               dir.path() + "/docs/banner.png");
    std::filesystem::copy_file(std::string(ORVEL_SOURCE_DIR) + "/tests/data/images/photo.jpg",
                               dir.path() + "/docs/photo.JPG");
    EXPECT_EQ(render_OVML_String("<ORVEL_DIMS SRC=banner.png>"), "");
    EXPECT_EQ(var_integer(DICT_VARIABLES, "DIMX", 0), 300);
    EXPECT_EQ(var_integer(DICT_VARIABLES, "DIMY", 0), 17);
    EXPECT_EQ(render_OVML_String("<ORVEL_DIMS SRC=photo.JPG RESULT=PIC>"
                                 "<img width=%OVV_PICX height=%OVV_PICY>"),
              "<img width=123 height=45>");
}

}  // namespace

namespace {

TEST_F(ElementFiles, ErrorCommentsCannotBeClosedByTheTextTheyEcho)
{
    set_string(DICT_SHOPPER, "PIC", "x--><script>alert(1)</script>.gif");
    const std::string out = render_OVML_String("<ORVEL_DIMS SRC=\"%OVE_PIC\">");
    EXPECT_TRUE(starts_with(out, "<!-- ")) << out;
    EXPECT_EQ(out.find("-->"), out.size() - 3) << out;
    EXPECT_EQ(out.find("<script>"), std::string::npos) << out;
    EXPECT_NE(out.find("&lt;script&gt;"), std::string::npos) << out;
}

TEST_F(ElementFiles, BelchCreatesFilesWithTheStoreModeWhateverTheUmask)
{
    const mode_t saved = ::umask(0);
    EXPECT_EQ(belch("FILE=fresh.txt", "x"), "");
    ::umask(saved);
    struct stat st;
    ASSERT_EQ(::stat((dir.path() + "/cat/fresh.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, protect_file_mode()) << std::oct << (st.st_mode & 0777);
}

}  // namespace
