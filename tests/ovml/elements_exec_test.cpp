// Elements that reach outside the process: ORVEL_EMAIL delivered for real
// through a sendmail-compatible program (msmtp) to an SMTP sink on the
// loopback address, its failures, and ORVEL_API running a merchant script.
#include "ovml_support.h"

#include "support/cgi_harness.h"
#include "support/smtp_sink.h"
#include "vars/vars.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>

using namespace ovml_test;
using orvel_test::ParsedMail;
using orvel_test::SmtpSink;
using orvel_test::TempDir;

namespace {

std::string render(std::string_view text) { return render_OVML_Text(OVMLText::from_string(text)); }

class EmailElement : public OVMLTest {
protected:
    EmailElement() {
        // The comment wrapping is the command runner's business (tested
        // with it); keep this program's own output clean.
        set_string(DICT_TWEAKS, "NOPIPECOMMENTS", "1");
        set_string(DICT_CONFIG, "STORE_EMAIL", "store@shop.test");
    }
    TempDir dir;
};

// Delivery through msmtp into a sink that is stopped whatever happens.
class RealDelivery : public EmailElement {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system("command -v msmtp >/dev/null"), 0) << "msmtp is not installed";
        ASSERT_GT(sink.port(), 0);
        set_string(DICT_CONFIG, "MAIL_PATH", orvel_test::msmtp_mail_path(dir.path(), sink.port()));
    }
    SmtpSink sink;
};

}  // namespace

TEST_F(RealDelivery, MailArrivesWithRecipientsSubjectAndBody) {
    set_string(DICT_SHOPPER, "NAME", "Ann Lee");
    EXPECT_EQ(render("<ORVEL_EMAIL TO=\"buyer@shop.test\" FROM=\"orders@shop.test\" "
                     "SUBJECT=\"Order for %OVE_NAME\">\nDear %OVE_NAME,\n.\nthanks\n</ORVEL_EMAIL>\n"),
              "");
    EXPECT_EQ(var_string(DICT_ORVEL, "ERROR"), "");
    std::vector<orvel_test::SmtpMessage> got = sink.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].recipients, std::vector<std::string>{"buyer@shop.test"});
    ParsedMail mail = orvel_test::parse_mail(got[0].data);
    EXPECT_EQ(mail.header("To"), "buyer@shop.test");
    EXPECT_EQ(mail.header("From"), "orders@shop.test");
    EXPECT_EQ(mail.header("Subject"), "Order for Ann Lee");
    // The lone "." went out as ". " and did not cut the message short.
    EXPECT_EQ(mail.body, "Dear Ann Lee,\n. \nthanks\n");

    // Without FROM the store's address is the sender.
    EXPECT_EQ(render("<ORVEL_EMAIL TO=\"b2@shop.test\" SUBJECT=s>x\n</ORVEL_EMAIL>"), "");
    got = sink.messages();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(orvel_test::parse_mail(got[1].data).header("From"), "store@shop.test");
    EXPECT_EQ(got[1].recipients, std::vector<std::string>{"b2@shop.test"});
}

TEST_F(RealDelivery, LineBreakInShopperFieldAddsNoRecipient) {
    set_string(DICT_SHOPPER, "NOTE", "Hello\r\nBcc: evil@x\nTo: evil2@x");
    EXPECT_EQ(render("<ORVEL_EMAIL TO=\"buyer@shop.test\" SUBJECT=\"%OVE_NOTE\">body\n</ORVEL_EMAIL>"), "");
    std::vector<orvel_test::SmtpMessage> got = sink.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].recipients, std::vector<std::string>{"buyer@shop.test"});
    ParsedMail mail = orvel_test::parse_mail(got[0].data);
    EXPECT_TRUE(mail.all("Bcc").empty());
    EXPECT_EQ(mail.all("To"), std::vector<std::string>{"buyer@shop.test"});
    EXPECT_EQ(mail.header("Subject"), "Hello  Bcc: evil@x To: evil2@x");
    EXPECT_EQ(mail.body, "body\n");
}

TEST_F(RealDelivery, LineBreakInBodyHeaderLineAddsNoRecipient) {
    set_string(DICT_CONFIG, "REPLACE_EMAIL_HEADERS", "1");
    set_string(DICT_SHOPPER, "NOTE", "Hi\nBcc: evil@x");
    EXPECT_EQ(render("<ORVEL_EMAIL TO=\"buyer@shop.test\" SUBJECT=s>\nX-Note: %OVE_NOTE\n\nsaid %OVE_NOTE\n</ORVEL_EMAIL>"),
              "");
    std::vector<orvel_test::SmtpMessage> got = sink.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].recipients, std::vector<std::string>{"buyer@shop.test"});
    ParsedMail mail = orvel_test::parse_mail(got[0].data);
    EXPECT_TRUE(mail.all("Bcc").empty());
    EXPECT_EQ(mail.header("X-Note"), "Hi Bcc: evil@x");
    EXPECT_EQ(mail.body, "said Hi\nBcc: evil@x\n");
}

TEST_F(RealDelivery, HeaderLinesInTheBodyReplaceAttributes) {
    set_string(DICT_CONFIG, "REPLACE_EMAIL_HEADERS", "1");
    EXPECT_EQ(render("<ORVEL_EMAIL TO=\"buyer@shop.test\" SUBJECT=old>\nsubject: New subject\nX-Tag: 7\n\nHi\n"
                     "</ORVEL_EMAIL>\n"),
              "");
    std::vector<orvel_test::SmtpMessage> got = sink.messages();
    ASSERT_EQ(got.size(), 1u);
    ParsedMail mail = orvel_test::parse_mail(got[0].data);
    EXPECT_EQ(mail.all("Subject"), std::vector<std::string>{"New subject"});
    EXPECT_EQ(mail.header("X-TAG"), "7");
    EXPECT_EQ(mail.body, "Hi\n");
}

TEST_F(EmailElement, FailuresLeaveCommentsAndError) {
    EXPECT_EQ(render("<ORVEL_EMAIL FROM=a@b SUBJECT=s>x</ORVEL_EMAIL>"), "<!-- failed email: no recipient -->");
    EXPECT_EQ(var_string(DICT_ORVEL, "ERROR"), "failed email: no recipient");
    // No mail program configured.
    EXPECT_EQ(render("<ORVEL_EMAIL TO=t@x SUBJECT=\"Hi there\">x</ORVEL_EMAIL>"),
              "<!-- failed email: from \"\" to \"t@x\" with subject \"Hi there\" -->");
    // A mail program that exits non-zero has not sent the mail.
    set_string(DICT_CONFIG, "MAIL_PATH", "false");
    EXPECT_EQ(render("<ORVEL_EMAIL TO=t@x FROM=f@x SUBJECT=s>x</ORVEL_EMAIL>"),
              "<!-- failed email: from \"f@x\" to \"t@x\" with subject \"s\" -->");
}

class ApiElement : public OVMLTest {
protected:
    ApiElement() {
        dir.write("cgi/api.sh", "#!/bin/sh\necho '%OVV_ANSWER:42'\necho \"%OVV_ARGS:$*\"\n");
        ::chmod((dir.path() + "/cgi/api.sh").c_str(), 0755);
        set_string(DICT_CONFIG, "CGI_DIR", dir.path() + "/cgi");
        set_string(DICT_TWEAKS, "NOPIPECOMMENTS", "1");
    }
    TempDir dir;
};

// Enable when run_user_script runs scripts (it still reports every script
// as not run).
TEST_F(ApiElement, DISABLED_ScriptOutputSetsValuesAndArgstrTakesTokens) {
    set_string(DICT_SHOPPER, "NAME", "Ann");
    EXPECT_EQ(render("<ORVEL_API SRC=api.sh ARGSTR=\"%OVE_NAME two\">"), "");
    EXPECT_EQ(var_string(DICT_VARIABLES, "ANSWER"), "42");
    EXPECT_EQ(var_string(DICT_VARIABLES, "ARGS"), "Ann two");
}

TEST_F(ApiElement, FailuresNameTheScript) {
    EXPECT_EQ(render("<ORVEL_API SRC=missing.sh>"), "<!-- failed to run API script missing.sh -->");
    EXPECT_EQ(var_string(DICT_ORVEL, "ERROR"), "failed to run API script missing.sh");
    EXPECT_EQ(render("<ORVEL_API SRC=../cgi/api.sh>"), "<!-- failed to run API script ../cgi/api.sh -->");
    // A shopper field cannot smuggle a second command into the argument text.
    set_string(DICT_SHOPPER, "NAME", "x; touch " + dir.path() + "/owned");
    EXPECT_EQ(render("<ORVEL_API SRC=api.sh ARGSTR=\"%OVE_NAME\">"), "<!-- failed to run API script api.sh -->");
    EXPECT_FALSE(dir.exists("owned"));
    EXPECT_EQ(var_string(DICT_VARIABLES, "ANSWER"), "");
}
