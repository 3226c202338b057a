// Invoices: the merchant's order templates rendered against the finished
// order, the PAYMENT_INFO text they show, and the invoice mails to the
// store and the shopper (with header lines a template may carry at its top).
#pragma once

#include <orvel.h>

#include <string>
#include <string_view>

// Sets PAYMENT_INFO in DICT_ORVEL (once per process): the shopper's
// PAYMENT_INFO field, else the card summary made from the CREDIT_ fields.
void derive_invoice_subs();
// The rendered template, after derive_invoice_subs().  An unreadable
// template ends the request ("Failed to open order invoice template").
std::string render_OVML_Invoice(const std::string &template_path);

// With REPLACE_EMAIL_HEADERS true, takes "Name: value" lines from the top
// of `body` into `headers` (an existing header of that name, ignoring case,
// gets the value; else a new upper-cased one is added) until a blank line
// or a line that is not a header.  With `remove` those lines, and the blank
// line after them, leave the body.  Returns the body.  A header value
// rendered under TokenLineBreakStandIns has its held line breaks as blanks.
std::string process_email_template(std::string body, var *headers, bool remove);

// Renders `template_path` as an invoice and mails it to `to`.  The sender
// is `from`, else STORE_EMAIL; the subject ORDER_SUBJECT, else
// "%OVM_STORE_NAME Orvel Order".  With `encrypt` the plug-ins may rewrite
// the body first.  No line break inside a token value (shopper input) can
// start a header line.  A mail that cannot be sent ends the request
// ("Failed to send order invoice e-mail to ...").
void mail_invoice(const std::string &template_path, std::string_view to, std::string_view from, bool encrypt);

// The finished order's two mails: the store's copy to ORDER_RECIPIENTS
// (when set), from the shopper's BILL_EMAIL, encrypted; and, with
// MAIL_SHOPPER and a BILL_EMAIL, the shopper's copy from STORE_EMAIL.  A
// BILL_EMAIL that is not one mail address (a list, a line break) is used
// for neither: the store's copy then comes from STORE_EMAIL, and the
// shopper's copy is logged and not sent.
void mail_order_invoices();
