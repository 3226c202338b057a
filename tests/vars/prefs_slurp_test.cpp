// Reading a file into a text line by line: comment cutting, trailing white
// space and skipped empty lines.

#include "vars/prefs.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct TextHandle {
    TextHandle() : t(new_text(nullptr)) {}
    ~TextHandle() { free_text(t); }
    TextHandle(const TextHandle &) = delete;
    TextHandle &operator=(const TextHandle &) = delete;
    std::vector<std::string> strings() const
    {
        std::vector<std::string> out;
        for (textstring *n = t->first; n; n = n->next)
            out.emplace_back(n->string);
        return out;
    }
    text *t;
};

FILE *file_with(const std::string &contents)
{
    FILE *f = std::tmpfile();
    std::fwrite(contents.data(), 1, contents.size(), f);
    std::rewind(f);
    return f;
}

using Strings = std::vector<std::string>;

TEST(FpSlurpFile, CutsCommentsAndTrailingWhiteSpace)
{
    FILE *f = file_with("first line  \n# whole comment\n\n  indented # tail\nlast\\#kept#cut\r\nend");
    TextHandle h;
    EXPECT_EQ(fp_slurp_file(f, h.t, '#'), 4);
    // No escape here: the backslash stays and the line is cut at the '#'.
    EXPECT_EQ(h.strings(), (Strings{"first line", "  indented", "last\\", "end"}));
    std::fclose(f);
}

TEST(FpSlurpFile, NoCommentCharacterKeepsEverything)
{
    FILE *f = file_with("a # b\r c \n\t\n");
    TextHandle h;
    EXPECT_EQ(fp_slurp_file(f, h.t, '\0'), 2);
    EXPECT_EQ(h.strings(), (Strings{"a # b", " c"}));
    std::fclose(f);
}

TEST(FpSlurpFile, AppendsToWhatTheTextHolds)
{
    FILE *f = file_with("x\n");
    TextHandle h;
    text_addstring(h.t, dup_cstring("already"));
    EXPECT_EQ(fp_slurp_file(f, h.t, '#'), 1);
    EXPECT_EQ(h.strings(), (Strings{"already", "x"}));
    std::fclose(f);
}

TEST(FpSlurpFile, NullFile)
{
    TextHandle h;
    EXPECT_EQ(fp_slurp_file(nullptr, h.t, '#'), -1);
    EXPECT_EQ(h.t->first, nullptr);
}

}  // namespace
