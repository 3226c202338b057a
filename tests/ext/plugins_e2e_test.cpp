// Plug-ins in the running program: the example greeter reaching the
// program's dictionaries and output by name, a plug-in answering a request
// itself, refusal and unloadable libraries, and the order of the hook
// calls over a whole request.
#include "support/cgi_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

const std::string built = TEST_PLUGIN_DIR;

class PluginShop : public Catalog {
public:
    PluginShop()
    {
        write("docs/index.html", "GREETING=[%OVV_GREETING] VISITS=%OVE_GREETER_VISITS\n");
        write("orvel.err", "");
        write("orvel.bug", "");
        fs::create_directories(path() + "/plugins");
    }
    void install(const std::string &built_name, const std::string &name) const
    {
        fs::copy_file(built + "/" + built_name, path() + "/plugins/" + name);
    }
    Response get(const std::string &query, std::map<std::string, std::string> env = {}) const
    {
        Request r;
        r.query = query;
        r.env = std::move(env);
        return run_orvel(path(), r);
    }
};

}  // namespace

TEST(PluginRequests, GreeterUsesTheVariableStoreAcrossRequests)
{
    PluginShop shop;
    shop.install("greeter.so", "greeter.so");
    shop.configure("GREETER_TEXT: Good day\n");
    const Response first = shop.get("bill_fname=Ann");
    ASSERT_EQ(first.exit_status, 0) << first.raw;
    EXPECT_NE(first.body.find("GREETING=[Good day, Ann (visit 1)] VISITS=1"), std::string::npos) << first.body;

    // The count the plug-in stored in the shopper's session comes back.
    const Response second = shop.get("", {{"HTTP_COOKIE", cookie_of(first)}});
    ASSERT_EQ(second.exit_status, 0) << second.raw;
    EXPECT_NE(second.body.find("GREETING=[Good day, Ann (visit 2)] VISITS=2"), std::string::npos) << second.body;
}

TEST(PluginRequests, PluginAnswersARequestItselfAndTheActionIsSkipped)
{
    PluginShop shop;
    shop.install("greeter.so", "greeter.so");
    const Response r = shop.get("action=hello&name=%3Cb%3EAnn");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.header("Content-type").find("text/html"), std::string::npos) << r.raw;
    EXPECT_NE(r.body.find("Hello from the greeter, &lt;b&gt;Ann."), std::string::npos) << r.body;
    EXPECT_EQ(r.body.find("GREETING="), std::string::npos) << "the page was not rendered";
}

TEST(PluginRequests, RefusedAndUnloadablePluginsAreLoggedAndTheRequestGoesOn)
{
    PluginShop shop;
    shop.install("greeter.so", "greeter.so");
    shop.write("plugins/broken.so", "not a library\n");
    shop.write("plugins/notes.txt", "a text file is not even tried\n");
    shop.configure("GREETER_OFF: yes\n");
    const Response r = shop.get("");
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.body.find("GREETING=[] VISITS="), std::string::npos) << r.body;
    const std::string errors = shop.read("orvel.err");
    EXPECT_NE(errors.find("plugin init failed for " + shop.path() + "/plugins/greeter.so"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("plugin open failed for " + shop.path() + "/plugins/broken.so: "), std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("notes.txt"), std::string::npos) << errors;

    // Without the refusal the same store greets.
    shop.set_config(shop.base_config() + "GREETER_OFF: 0\n");
    const Response again = shop.get("");
    EXPECT_NE(again.body.find("GREETING=[Welcome (visit 1)]"), std::string::npos) << again.raw;
}

TEST(PluginRequests, DisabledPluginsAreNeverOpened)
{
    PluginShop shop;
    shop.install("greeter.so", "greeter.so");
    shop.write("plugins/broken.so", "not a library\n");
    shop.configure("DISABLE_PLUGINS: yes\n");
    // Nobody takes the plug-in's action over: the program refuses it.
    const Response r = shop.get("action=hello");
    EXPECT_EQ(r.exit_status, 1) << r.raw;
    EXPECT_NE(r.body.find("\"HELLO\" as a valid action"), std::string::npos) << r.body;
    EXPECT_EQ(r.body.find("Hello from the greeter"), std::string::npos) << r.body;
    EXPECT_EQ(shop.read("orvel.err").find("plugin"), std::string::npos);
}

TEST(PluginRequests, HookCallsOverARequestInLoadOrder)
{
    PluginShop shop;
    shop.install("recorder_a.so", "recorder_a.so");
    shop.install("recorder_b.so", "recorder_b.so");
    const std::string log = shop.path() + "/calls.log";

    Response r = shop.get("", {{"RECORDER_LOG", log}});
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_NE(r.body.find("GREETING="), std::string::npos) << r.body;
    std::string calls = shop.read("calls.log");
    // Load order is directory order: find which came first.
    const bool a_first = calls.rfind("a plugin_init", 0) == 0;
    const std::string x = a_first ? "a" : "b", y = a_first ? "b" : "a";
    EXPECT_EQ(calls, x + " plugin_init\n" + y + " plugin_init\n" + x + " plugin_pre_action\n" + y +
                         " plugin_pre_action\n" + x + " plugin_post_action\n" + y + " plugin_post_action\n" + x +
                         " plugin_shutdown\n" + y + " plugin_shutdown\n");

    // The first plug-in handling the action: the second is not asked, the
    // page is not rendered, the post-action round and shutdown still run.
    fs::remove(log);
    const std::string handled = "RECORDER_" + std::string(x == "a" ? "A" : "B") + "_PLUGIN_PRE_ACTION";
    r = shop.get("", {{"RECORDER_LOG", log}, {handled, "-1002"}});
    ASSERT_EQ(r.exit_status, 0) << r.raw;
    EXPECT_EQ(r.body.find("GREETING="), std::string::npos) << r.body;
    calls = shop.read("calls.log");
    EXPECT_EQ(calls, x + " plugin_init\n" + y + " plugin_init\n" + x + " plugin_pre_action\n" + x +
                         " plugin_post_action\n" + y + " plugin_post_action\n" + x + " plugin_shutdown\n" + y +
                         " plugin_shutdown\n");
}
