// Running outside programs and piping mail: refused command lines, reading
// and writing through the pipe, the comment wrapping, a child that stops
// reading early, and the message handed to the mail program.
#include "platform/commands.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

using namespace orvel_test;

namespace {

// Everything written to file descriptor 1 until finish().
class StdoutCapture {
public:
    StdoutCapture() : file_(std::tmpfile()), saved_(::dup(1)) {
        std::fflush(stdout);
        ::dup2(::fileno(file_), 1);
    }
    ~StdoutCapture() { finish(); }
    std::string finish() {
        if (saved_ < 0) return {};
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
        saved_ = -1;
        std::string out(static_cast<std::size_t>(std::ftell(file_)), '\0');
        std::rewind(file_);
        out.resize(std::fread(out.data(), 1, out.size(), file_));
        std::fclose(file_);
        return out;
    }

private:
    FILE *file_;
    int saved_;
};

struct CText {
    text *t = new_text(nullptr);
    ~CText() { free_text(t); }
    void add(const std::string &s) { text_addstring(t, dup_cstring(s)); }
};

class Commands : public ::testing::Test {
protected:
    FreshDictionaries dicts;
    TempDir dir;
    var *headers = new_dict("[HEADERS]");
    CText body;
    ~Commands() override { nuke_var(headers); }
    // An executable shell script in the temp dir; its path.
    std::string script(const std::string &name, const std::string &code) {
        dir.write(name, "#!/bin/sh\n" + code);
        std::string path = dir.path() + "/" + name;
        ::chmod(path.c_str(), 0755);
        return path;
    }
    // A mail program that records its arguments and its input.
    std::string mailer(int exit_code = 0) {
        return script("mailer", "echo \"$@\" > " + dir.path() + "/args\ncat > " + dir.path() + "/message\nexit " +
                                    std::to_string(exit_code) + "\n");
    }
};

}  // namespace

TEST_F(Commands, ForbiddenCharactersAreRefusedAndLogged) {
    EXPECT_FALSE(Orvel_cmdline_forbidden("/usr/sbin/sendmail -t -oi"));
    for (std::string bad : std::initializer_list<std::string>{
             "a & b", "a;b", "a | b", "a < f", "a > f", "a `id`", "a $(id)", "a\nid", "a\rid", {"a\0b", 3}})
        EXPECT_EQ(Orvel_cmdline_forbidden(bad).value_or("allowed"),
                  "\"" + bad + "\" contains a forbidden shell character");

    WorkingDirectory cwd(dir.path());
    dir.write("orvel.err", "");
    reset_log_state();
    const std::string marker = dir.path() + "/ran";
    EXPECT_EQ(my_run_command("touch " + marker + "; true", nullptr, body.t, false), -1);
    EXPECT_EQ(my_run_command("touch " + marker + "\ntrue", nullptr, body.t, false), -1);
    EXPECT_FALSE(dir.exists("ran"));
    EXPECT_NE(dir.read("orvel.err").find("my_run_command: \"touch " + marker +
                                         "; true\" contains a forbidden shell character"),
              std::string::npos);
    reset_log_state();

    set_string(DICT_TWEAKS, "BLESSCMDLINE", "1");
    EXPECT_FALSE(Orvel_cmdline_forbidden("a $(id); b"));
}

TEST_F(Commands, ReadsWholeLinesOfAnyLength) {
    const std::string longline(20000, 'x');
    CText out;
    int status = -2;
    ASSERT_EQ(my_run_command(script("out.sh", "printf '%s\\n' one " + longline + "\nprintf last\n"), nullptr,
                             out.t, false, &status), 0);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(text_length(out.t), 3);
    EXPECT_STREQ(out.t->first->string, "one\n");
    EXPECT_EQ(std::string(out.t->first->next->string), longline + "\n");
    EXPECT_STREQ(out.t->last->string, "last");
}

TEST_F(Commands, WritesInputAndWrapsChildOutputUnlessNoPipeComments) {
    std::string path = script("in.sh", "cat > " + dir.path() + "/got\necho child-said-this\nexit 3\n");
    body.add("first line\n");
    body.add("second");
    StdoutCapture cap;
    int status = -2;
    EXPECT_EQ(my_run_command(path, body.t, nullptr, true, &status), 0);
    std::string page = cap.finish();
    EXPECT_EQ(status, 3);
    EXPECT_EQ(dir.read("got"), "first line\nsecond");
    std::size_t open = page.find("\n<!--\n"), said = page.find("child-said-this"), close = page.find("\n-->\n");
    ASSERT_NE(close, std::string::npos) << page;
    EXPECT_TRUE(open < said && said < close) << page;

    set_string(DICT_TWEAKS, "NOPIPECOMMENTS", "1");
    StdoutCapture quiet;
    EXPECT_EQ(my_run_command(path, body.t, nullptr, true), 0);
    page = quiet.finish();
    EXPECT_NE(page.find("child-said-this"), std::string::npos);
    EXPECT_EQ(page.find("<!--"), std::string::npos);
    EXPECT_EQ(page.find("-->"), std::string::npos);
}

TEST_F(Commands, ChildThatStopsReadingDoesNotKillTheProcess) {
    for (int i = 0; i < 64; ++i) body.add(std::string(65536, 'z'));  // far more than a pipe holds
    int status = -2;
    EXPECT_EQ(my_run_command("true", body.t, nullptr, false, &status), 0);
    EXPECT_EQ(status, 0);
}

TEST_F(Commands, MailMessageLayout) {
    set_string(headers, "To", "a@shop.test");
    set_string(headers, "Subject", "Hi\r\nBcc: evil@x");
    body.add("line one\n");
    body.add(".\n");
    body.add("..\n.\r\nend\n.");
    const std::string head = "To: a@shop.test\nSubject: Hi  Bcc: evil@x\n";
    const std::string text = "line one\n. \n..\n. \r\nend\n. ";
    EXPECT_EQ(build_mail_message(headers, body.t, 0), head + "\n" + text);
    EXPECT_EQ(build_mail_message(headers, body.t, -1), head + text);
    EXPECT_EQ(build_mail_message(headers, body.t, 1), text);
}

TEST_F(Commands, SendMailRunsTheRenderedMailPath) {
    set_string(DICT_CONFIG, "MAIL_PATH", mailer());
    set_string(headers, "To", "buyer@shop.test");
    body.add("Thanks\n");
    StdoutCapture cap;
    EXPECT_EQ(my_send_mail(headers, body.t), 0);
    EXPECT_EQ(dir.read("args"), "-t\n");  // a bare path gets " -t"
    EXPECT_EQ(dir.read("message"), "To: buyer@shop.test\n\nThanks\n");

    set_string(DICT_CONFIG, "MAILER_DIR", dir.path());
    set_string(DICT_CONFIG, "MAIL_PATH", "%OVM_MAILER_DIR/mailer -oi -f shop@x");
    EXPECT_EQ(my_send_mail(headers, body.t), 0);
    EXPECT_EQ(dir.read("args"), "-oi -f shop@x\n");
    EXPECT_NE(cap.finish().find("\n<!--\n"), std::string::npos);
}

TEST_F(Commands, SendMailFailures) {
    body.add("b\n");
    EXPECT_EQ(my_send_mail(headers, body.t), -1);  // no MAIL_PATH
    set_string(DICT_CONFIG, "MAIL_PATH", "");
    EXPECT_EQ(my_send_mail(headers, body.t), -1);
    StdoutCapture cap;
    set_string(DICT_CONFIG, "MAIL_PATH", mailer(75));
    EXPECT_EQ(my_send_mail(headers, body.t), 1);  // the mail program refused the message
    set_string(DICT_CONFIG, "MAIL_PATH", dir.path() + "/no-such-mailer");
    EXPECT_EQ(my_send_mail(headers, body.t), 1);
    set_string(DICT_CONFIG, "MAIL_PATH", dir.path() + "/mailer;id");
    EXPECT_EQ(my_send_mail(headers, body.t), -1);
}

TEST_F(Commands, CommandLinesAreSplitIntoWordsNotGivenToAShell) {
    EXPECT_EQ(split_command_line("  /usr/sbin/sendmail -t  -oi "),
              (std::vector<std::string>{"/usr/sbin/sendmail", "-t", "-oi"}));
    EXPECT_EQ(split_command_line("prog 'two words' \"and more\" x'y'z \"\""),
              (std::vector<std::string>{"prog", "two words", "and more", "xyz", ""}));

    // Blessed shell characters reach the program as plain arguments.
    set_string(DICT_TWEAKS, "BLESSCMDLINE", "1");
    const std::string marker = dir.path() + "/ran";
    std::string args = script("args.sh", "printf '%s|' \"$@\"\n");
    CText out;
    ASSERT_EQ(my_run_command(args + " a;touch " + marker + " '$(id)'", nullptr, out.t, false), 0);
    EXPECT_FALSE(dir.exists("ran"));
    ASSERT_EQ(text_length(out.t), 1);
    EXPECT_EQ(std::string(out.t->first->string), "a;touch|" + marker + "|$(id)|");
}

TEST_F(Commands, ProgramThatCannotStartIsReported) {
    int status = -2;
    EXPECT_EQ(my_run_command(dir.path() + "/no-such-program -t", body.t, nullptr, false, &status), 1);
    EXPECT_EQ(status, -1);
    set_string(DICT_CONFIG, "MAIL_PATH", dir.path() + "/no-such-mailer");
    body.add("x");
    EXPECT_EQ(my_send_mail(nullptr, body.t), 1);
}
