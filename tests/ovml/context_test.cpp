// Context substitutions and subst.rules: the first pass over every
// rendered line.
#include "ovml_support.h"

#include "support/cgi_harness.h"
#include "vars/vars.h"

#include <string>

using namespace ovml_test;

namespace {

std::string render(std::string_view text) { return render_OVML_Text(OVMLText::from_string(text)); }

class ContextSubs : public OVMLTest {
protected:
    orvel_test::TempDir dir;
    ContextSubs() {
        set_string(DICT_CONFIG, "CAT_DIR", dir.path());
        set_string(DICT_URL, "MAIN", "http://shop.test/cgi");
        set_string(DICT_CONFIG, "STORE", "Corner");
    }
    void with_base() { set_string(DICT_URL, "DOC_BASE", "http://shop.test/docs/"); }
};

}  // namespace

TEST_F(ContextSubs, OffWithoutSwitchesOrRules) {
    const std::string page = "<a href=\"HTTP://OVU.MAIN\">%25OVM_STORE</a><!--OVML x OVML--></HEAD>\n";
    EXPECT_FALSE(OVML_context_active());
    EXPECT_EQ(render(page), page);
}

TEST_F(ContextSubs, EditorFixesAndHiddenOvml) {
    set_string(DICT_CONFIG, "CONTEXT_SUBS", "fp_ovu FP_PCT OV_CMT");
    EXPECT_TRUE(OVML_context_active());
    EXPECT_EQ(render("<a href=\"HTTP://OVU.MAIN?x\">%25OVM_STORE</a>\n"),
              "<a href=\"http://shop.test/cgi?x\">Corner</a>\n");
    EXPECT_EQ(render("http://ovu.MAIN\n"), "http://ovu.MAIN\n");  // exact case only
    // OVML in an HTML comment takes effect, tags included.
    EXPECT_EQ(render("<!--OVML <ORVEL_ECHO a> OVML-->\n"), " [ORVEL_ECHO a] \n");
}

TEST_F(ContextSubs, DisabledAndExplicitSwitches) {
    set_string(DICT_CONFIG, "CONTEXT_SUBS", "FP_OVU FP_PCT OV_CMT");
    set_string(DICT_CONFIG, "DISABLED_CONTEXT_SUBS", "FP_PCT,OV_CMT");
    set_string(DICT_CONFIG, "SUBST_OV_CMT", "yes");
    EXPECT_EQ(render("HTTP://OVU.MAIN %25OVM_STORE <!--OVML x OVML-->\n"), "http://shop.test/cgi %25OVM_STORE  x \n");
    set_string(DICT_CONFIG, "SUBST_FP_OVU", "0");
    reset_OVML_context();
    EXPECT_EQ(render("HTTP://OVU.MAIN\n"), "HTTP://OVU.MAIN\n");
}

TEST_F(ContextSubs, SwitchesAreSettledOnce) {
    EXPECT_EQ(render("HTTP://OVU.MAIN\n"), "HTTP://OVU.MAIN\n");
    set_string(DICT_CONFIG, "CONTEXT_SUBS", "FP_OVU");
    EXPECT_EQ(render("HTTP://OVU.MAIN\n"), "HTTP://OVU.MAIN\n");
}

TEST_F(ContextSubs, BaseIsInsertedOnceAtTheClosingHead) {
    with_base();
    EXPECT_TRUE(OVML_context_active());
    EXPECT_EQ(render("<html><head><title>t</title>\n</head>\n<body></HEAD>\n"),
              "<html><head><title>t</title>\n<base href=http://shop.test/docs/></head>\n<body></HEAD>\n");
    EXPECT_FALSE(OVML_context_active());
    EXPECT_EQ(render("</head>\n"), "</head>\n");
}

TEST_F(ContextSubs, PageWithItsOwnBaseGetsNone) {
    with_base();
    EXPECT_EQ(render("<base href=\"x\">\n</head>\n"), "<base href=\"x\">\n</head>\n");
}

TEST_F(ContextSubs, HardBaseOverridesAnotherBaseButNotTheDocBase) {
    with_base();
    set_string(DICT_CONFIG, "CONTEXT_SUBS", "HARD_BASE");
    EXPECT_EQ(render("<BASE href=\"x\">\n</head>\n"), "<BASE href=\"x\">\n<base href=http://shop.test/docs/></head>\n");
    reset_OVML_context();
    EXPECT_EQ(render("<BASE href=\"%OVU_DOC_BASE\"></head>\n"), "<BASE href=\"http://shop.test/docs/\"></head>\n");
}

TEST_F(ContextSubs, HighBaseReplacesTheOpeningHead) {
    with_base();
    set_string(DICT_CONFIG, "SUBST_HIGH_BASE", "1");
    EXPECT_EQ(render("<HEAD>\n<title>t</title></head>\n"),
              "<head><base href=http://shop.test/docs/>\n<title>t</title></head>\n");
}

TEST_F(ContextSubs, BaseNeedsADocBase) {
    set_string(DICT_CONFIG, "CONTEXT_SUBS", "BASE HARD_BASE");
    set_string(DICT_CONFIG, "SUBST_BASE", "1");
    EXPECT_FALSE(OVML_context_active());
    EXPECT_EQ(render("</head>\n"), "</head>\n");
}

TEST_F(ContextSubs, DisabledBaseIsAWholeWord) {
    with_base();
    set_string(DICT_CONFIG, "DISABLED_CONTEXT_SUBS", "HARD_BASE");
    EXPECT_EQ(render("</head>\n"), "<base href=http://shop.test/docs/></head>\n");
    reset_OVML_context();
    set_string(DICT_CONFIG, "DISABLED_CONTEXT_SUBS", "HARD_BASE base");
    EXPECT_EQ(render("</head>\n"), "</head>\n");
}

TEST_F(ContextSubs, SubstitutionRulesInFileOrder) {
    dir.write("rules/subst.rules", "# merchant shorthands\n"
                                   "shop: the %OVM_STORE shop\n"
                                   "\n"
                                   "CORNER : Corner Street\n"
                                   "logo:<ORVEL_ECHO logo>  # an element\n"
                                   "no separator here\n");
    var *rules = load_subst_rules();
    ASSERT_NE(rules, nullptr);
    EXPECT_STREQ(rules->name, "[Substitution Rules]");
    ASSERT_NE(rules->next, nullptr);
    EXPECT_STREQ(rules->next->name, "SHOP");
    EXPECT_EQ(var_string(rules, "LOGO"), "<ORVEL_ECHO logo>");
    EXPECT_EQ(var_length(rules), 3);
    nuke_var(rules);

    EXPECT_TRUE(OVML_context_active());
    // SHOP expands first (its value's tokens rendered), then CORNER matches
    // the text SHOP put in; names match ignoring case.
    EXPECT_EQ(render("Visit Shop or SHOP.\n"), "Visit the Corner Street shop or the Corner Street shop.\n");
    // The pass runs on text outside tags: a tag in a rule's value stays text.
    EXPECT_EQ(render("x LOGO y\n"), "x <ORVEL_ECHO logo> y\n");
}

TEST_F(ContextSubs, NoRulesFile) {
    EXPECT_EQ(load_subst_rules(), nullptr);
    dir.write("rules/subst.rules", "# nothing\n\n");
    var *rules = load_subst_rules();
    ASSERT_NE(rules, nullptr);
    EXPECT_EQ(rules->next, nullptr);
    nuke_var(rules);
    EXPECT_FALSE(OVML_context_active());
}
