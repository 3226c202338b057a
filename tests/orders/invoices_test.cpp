// Invoices: the PAYMENT_INFO text, header lines taken from the top of a
// mail template, and the invoice mails delivered for real through msmtp to
// an SMTP sink, with their failures.
#include "orders/invoices.h"

#include "orders_test_util.h"
#include "support/smtp_sink.h"

#include <cstdlib>

using namespace orders_test;
using orvel_test::ParsedMail;
using orvel_test::parse_mail;
using orvel_test::run_in_child;
using orvel_test::SmtpMessage;
using orvel_test::SmtpSink;

namespace {

class Invoices : public OrdersTest {
protected:
    Invoices() { set_string(DICT_TWEAKS, "NOPIPECOMMENTS", "1"); }
    std::string process(const std::string &body, bool remove = true) {
        return process_email_template(body, headers, remove);
    }
    var *headers = new_dict("Mail-Headers");
    ~Invoices() override { nuke_var(headers); }
};

}  // namespace

TEST_F(Invoices, PaymentInfoIsTheShopperTextElseTheCardSummaryOncePerProcess) {
    set_string(DICT_SHOPPER, "CREDIT_CODE", "4111111111111111");
    set_string(DICT_SHOPPER, "CREDIT_TYPE", "Visa");
    set_string(DICT_SHOPPER, "CREDIT_MONTH", "04");
    set_string(DICT_SHOPPER, "CREDIT_YEAR", "27");
    set_string(DICT_SHOPPER, "CREDIT_NAME", "Ann Lee");
    derive_invoice_subs();
    EXPECT_EQ(var_string(DICT_ORVEL, "PAYMENT_INFO"), "4111111111111111 (Visa; expires 04/27), issued to \"Ann Lee\"");
    set_string(DICT_SHOPPER, "PAYMENT_INFO", "pay on collection");
    derive_invoice_subs();
    EXPECT_EQ(var_string(DICT_ORVEL, "PAYMENT_INFO"), "4111111111111111 (Visa; expires 04/27), issued to \"Ann Lee\"");

    unset_var(DICT_ORVEL, "PAYMENT_INFO");
    dir.write("templates/t.txt", "Paid: %OVH_PAYMENT_INFO\n");
    EXPECT_EQ(render_OVML_Invoice(dir.path() + "/templates/t.txt"), "Paid: pay on collection\n");
}

TEST_F(Invoices, MissingTemplateEndsTheRequest) {
    orvel_test::ChildResult child = run_in_child([this] { render_OVML_Invoice(dir.path() + "/templates/<none>.txt"); });
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_NE(child.output.find("Failed to open order invoice template \"" + dir.path() + "/templates/&lt;none&gt;.txt\"."),
              std::string::npos)
        << child.output;
}

TEST_F(Invoices, HeaderLinesAtTheTopOfATemplate) {
    set_string(headers, "Subject", "default");
    const std::string body = "subject:  Your order \nX-Order: 17\n\nDear Ann,\nSubject: stays\n";
    EXPECT_EQ(process(body), body) << "only with REPLACE_EMAIL_HEADERS";

    set_string(DICT_CONFIG, "REPLACE_EMAIL_HEADERS", "1");
    EXPECT_EQ(process(body), "Dear Ann,\nSubject: stays\n");
    EXPECT_EQ(var_string(headers, "Subject"), "Your order");
    EXPECT_EQ(var_string(headers, "X-ORDER"), "17");

    // Without removal the lines stay where they are.
    EXPECT_EQ(process("Subject: again\n\nbody\n", false), "Subject: again\n\nbody\n");
    EXPECT_EQ(var_string(headers, "Subject"), "again");

    // The block ends at a line without a colon or with a blank in its name;
    // nothing is removed then but the header lines before it.
    EXPECT_EQ(process("X-A: 1\nDear Ann: thanks\nX-B: 2\n"), "Dear Ann: thanks\nX-B: 2\n");
    EXPECT_EQ(process("Hello\nX-C: 3\n"), "Hello\nX-C: 3\n");
    EXPECT_EQ(process(": no name\n"), ": no name\n");
    EXPECT_EQ(process("\nbody\n"), "\nbody\n") << "a blank line with no header before it stays";
    EXPECT_FALSE(var_defined(headers, "X-B"));
    EXPECT_FALSE(var_defined(headers, "X-C"));
}

namespace {

// Invoice mails through msmtp into a sink that stops whatever happens.
class InvoiceMail : public Invoices {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system("command -v msmtp >/dev/null"), 0) << "msmtp is not installed";
        ASSERT_GT(sink.port(), 0);
        set_string(DICT_CONFIG, "MAIL_PATH", orvel_test::msmtp_mail_path(dir.path(), sink.port()));
        set_string(DICT_CONFIG, "STORE_HOMEPAGE", "http://shop.test/");
        set_string(DICT_CONFIG, "ORDER_RECIPIENTS", "orders@shop.test");
        set_string(DICT_SHOPPER, "PAYMENT_INFO", "invoice");
        set_string(DICT_SHOPPER, "NAME", "Ann Lee");
        set_string(DICT_TOTALS, "GRAND_TOTAL", "42.50");
        dir.write("templates/store_invoice.txt", "Order from %OVE_NAME, total %OVT_GRAND_TOTAL, paid by %OVH_PAYMENT_INFO\n");
        dir.write("templates/shopper_invoice.txt", "Thank you, %OVE_NAME.  Your total: %OVT_GRAND_TOTAL\n");
    }
    std::vector<ParsedMail> mails() const {
        std::vector<ParsedMail> out;
        for (const SmtpMessage &m : sink.messages()) out.push_back(parse_mail(m.data));
        return out;
    }
    SmtpSink sink;
};

}  // namespace

TEST_F(InvoiceMail, StoreAndShopperCopies) {
    set_string(DICT_SHOPPER, "BILL_EMAIL", "ann@buyer.test");
    set_string(DICT_CONFIG, "MAIL_SHOPPER", "1");
    mail_order_invoices();
    std::vector<SmtpMessage> sent = sink.messages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].recipients, std::vector<std::string>{"orders@shop.test"});
    EXPECT_EQ(sent[1].recipients, std::vector<std::string>{"ann@buyer.test"});

    ParsedMail store = parse_mail(sent[0].data);
    EXPECT_EQ(store.header("To"), "orders@shop.test");
    EXPECT_EQ(store.header("From"), "ann@buyer.test");
    EXPECT_EQ(store.header("Reply-To"), "ann@buyer.test");
    EXPECT_EQ(store.header("Errors-To"), "owner@shop.test");
    EXPECT_EQ(store.header("X-URL"), "http://shop.test/");
    EXPECT_EQ(store.header("Subject"), "Corner Shop Orvel Order");
    EXPECT_EQ(store.body, "Order from Ann Lee, total 42.50, paid by invoice\n");

    ParsedMail shopper = parse_mail(sent[1].data);
    EXPECT_EQ(shopper.header("To"), "ann@buyer.test");
    EXPECT_EQ(shopper.header("From"), "owner@shop.test");
    EXPECT_EQ(shopper.body, "Thank you, Ann Lee.  Your total: 42.50\n");
}

TEST_F(InvoiceMail, WithoutBillEmailOnlyTheStoreHearsFromTheStore) {
    set_string(DICT_CONFIG, "MAIL_SHOPPER", "1");
    set_string(DICT_CONFIG, "ORDER_SUBJECT", "Order %OVE_NAME");
    mail_order_invoices();
    std::vector<ParsedMail> got = mails();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].header("From"), "owner@shop.test");
    EXPECT_EQ(got[0].header("Subject"), "Order Ann Lee");
}

TEST_F(InvoiceMail, TemplateHeaderLinesReplaceTheSubject) {
    set_string(DICT_CONFIG, "REPLACE_EMAIL_HEADERS", "1");
    dir.write("templates/store_invoice.txt", "Subject: Order for %OVE_NAME\n\nTotal %OVT_GRAND_TOTAL\n");
    mail_invoice(dir.path() + "/templates/store_invoice.txt", "orders@shop.test", "", true);
    std::vector<ParsedMail> got = mails();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].all("Subject"), std::vector<std::string>{"Order for Ann Lee"});
    EXPECT_EQ(got[0].body, "Total 42.50\n");
}

TEST_F(InvoiceMail, ShopperLineBreaksInTemplateHeadersAddNoHeaderOrRecipient) {
    set_string(DICT_CONFIG, "REPLACE_EMAIL_HEADERS", "1");
    set_string(DICT_SHOPPER, "NAME", "Ann\nBcc: victim@evil.test\r\nTo: other@evil.test");
    dir.write("templates/store_invoice.txt", "Subject: Order for %OVE_NAME\nX-Shop: corner\n\nDear %OVE_NAME\n");
    mail_invoice(dir.path() + "/templates/store_invoice.txt", "orders@shop.test", "", true);
    std::vector<SmtpMessage> sent = sink.messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].recipients, std::vector<std::string>{"orders@shop.test"});
    ParsedMail mail = parse_mail(sent[0].data);
    EXPECT_TRUE(mail.all("Bcc").empty());
    EXPECT_EQ(mail.all("To"), std::vector<std::string>{"orders@shop.test"});
    EXPECT_EQ(mail.header("Subject"), "Order for Ann Bcc: victim@evil.test  To: other@evil.test");
    EXPECT_EQ(mail.header("X-Shop"), "corner") << "the template's own header lines still count";
    // In the body the shopper's text keeps its line breaks.
    EXPECT_EQ(mail.body, "Dear Ann\nBcc: victim@evil.test\nTo: other@evil.test\n");
}

TEST_F(InvoiceMail, ShopperCopyGoesOnlyToOneAddress) {
    set_string(DICT_CONFIG, "MAIL_SHOPPER", "1");
    for (const char *typed : {"ann@buyer.test, victim@evil.test", "ann@buyer.test victim@evil.test",
                              "ann@buyer.test\nvictim@evil.test", "ann@buyer.test@evil.test"}) {
        set_string(DICT_SHOPPER, "BILL_EMAIL", typed);
        const std::size_t before = sink.messages().size();
        mail_order_invoices();
        std::vector<SmtpMessage> sent = sink.messages();
        ASSERT_EQ(sent.size(), before + 1) << "only the store's copy for " << typed;
        EXPECT_EQ(sent.back().recipients, std::vector<std::string>{"orders@shop.test"}) << typed;
        EXPECT_EQ(parse_mail(sent.back().data).header("From"), "owner@shop.test") << typed;
    }
    EXPECT_NE(error_log().find("shopper invoice not sent: \"ann@buyer.test victim@evil.test\" is not one mail address"),
              std::string::npos)
        << error_log();
}

TEST_F(Invoices, MailProgramFailureEndsTheRequest) {
    dir.write("templates/store_invoice.txt", "x\n");
    for (const char *mailer : {"false", "/no/such/mailer"}) {
        set_string(DICT_CONFIG, "MAIL_PATH", mailer);
        orvel_test::ChildResult child = run_in_child([this] {
            mail_invoice(dir.path() + "/templates/store_invoice.txt", "<orders@shop.test>", "", true);
        });
        EXPECT_EQ(child.exit_status, 1) << mailer;
        EXPECT_NE(child.output.find("Failed to send order invoice e-mail to &lt;orders@shop.test&gt;."),
                  std::string::npos)
            << child.output;
    }
}
