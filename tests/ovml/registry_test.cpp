// The element registry: name matching, dispatch, the terminating entry,
// error comments and the registry's limit.
#include "ovml_support.h"

#include "core/lifecycle.h"
#include "vars/vars.h"

using namespace ovml_test;

TEST(CompareTags, SubstringPositionDecidesTheForm) {
    std::string found = "ORVEL_LOOP";
    EXPECT_EQ(compare_OVML_Tags("/ORVEL_LOOP", found), -1);  // opener of a paired element
    found = "/orvel-loop";
    EXPECT_EQ(compare_OVML_Tags("/ORVEL_LOOP", found), 1);   // its closing tag
    EXPECT_EQ(found, "/orvel_loop");                         // '-' turned in place
    found = "ORVEL_DATE";
    EXPECT_EQ(compare_OVML_Tags("ORVEL_DATE", found), 1);
    found = "ORVEL_DA";  // a leading part matches too
    EXPECT_EQ(compare_OVML_Tags("ORVEL_DATE", found), 1);
    found = "ORVEL_LOOPS";
    EXPECT_EQ(compare_OVML_Tags("/ORVEL_LOOP", found), 0);
    found = "LIST";
    EXPECT_EQ(compare_OVML_Tags("/ORVEL_ITEM_LIST", found), 0);  // further in: no match
}

TEST_F(OVMLTest, RegistryEndsWithTheTerminatingEntry) {
    const OVMLRegistry &r = OVML_registry();
    ASSERT_GT(r.count, 0);
    EXPECT_EQ(r.names[static_cast<std::size_t>(r.count)], "");
    EXPECT_EQ(r.funcs[static_cast<std::size_t>(r.count)], &do_OVML_Nothing);
    // Rebuilding the dictionaries does not register the standard elements again.
    const int before = r.count;
    Orvel_deinitialize();
    Orvel_initialize();
    EXPECT_EQ(OVML_registry().count, before);
}

TEST_F(OVMLTest, ParseTagDispatchesByForm) {
    TagDef def;
    def.name = "orvel-echo";
    def.text = "orvel-echo A=1";
    int result = 9;
    std::optional<std::string> out = parse_tag(def, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out.value_or("?"), "[orvel-echo A=1]");

    def.name = "ORVEL_REPEAT";
    def.text = "ORVEL_REPEAT COUNT=2";
    int slot = -1;
    out = parse_tag(def, result, &slot);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(out.value_or("?"), "/ORVEL_REPEAT");
    EXPECT_EQ(OVML_registry().names[static_cast<std::size_t>(slot)], "/ORVEL_REPEAT");

    def.text = "ORVEL_REPEAT COUNT=2/";
    out = parse_tag(def, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out.value_or("?"), "(no body: ORVEL_REPEAT COUNT=2/)");

    def.name = "ORVEL_NOSUCH";
    out = parse_tag(def, result);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(out.has_value());
}

TEST_F(OVMLTest, ErrorCommentSetsError) {
    EXPECT_EQ(Orvel_OVML_output_error("bad %s #%d", "thing", 3), "<!-- bad thing #3 -->");
    EXPECT_EQ(var_string(DICT_ORVEL, "ERROR"), "bad thing #3");
    TagDef def;
    EXPECT_EQ(do_OVML_Nothing(def), "<!-- This comment is an abomination. -->");
    EXPECT_EQ(render_OVML_Tag(def, OVML_registry().count), "<!-- This comment is an abomination. -->");
}

TEST_F(OVMLTest, FullRegistryEndsTheRequest) {
    ChildResult child = run_in_child([] {
        for (int i = 0; i < OVML_MAX_TAGS; ++i)
            register_OVML_function("ORVEL_FILLER_" + std::to_string(i), do_OVML_Nothing);
    });
    EXPECT_EQ(child.exit_status, 1);
    // Slots before the terminating entry: 99, some taken by the test elements.
    const int fits = OVML_MAX_TAGS - 1 - OVML_registry().count;
    EXPECT_NE(child.output.find("Failed to register OVML element ORVEL_FILLER_" + std::to_string(fits) + "."),
              std::string::npos)
        << child.output;
}
