// Loading and polling plug-ins in this process, with recorder plug-ins that
// log their calls to a file and answer what the environment tells them.
#include "ext/plugins.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace orvel_test;
namespace fs = std::filesystem;

namespace {

const std::string built = TEST_PLUGIN_DIR;

class Plugins : public ::testing::Test {
protected:
    Plugins() : cwd(dir.path())
    {
        dir.write("orvel.err", "");
        dir.write("orvel.bug", "");
        reset_log_state();
        set_string(DICT_CONFIG, "CGI_DIR", dir.path());
        fs::create_directories(dir.path() + "/plugins");
        ::setenv("RECORDER_LOG", (dir.path() + "/calls.log").c_str(), 1);
    }
    ~Plugins() override
    {
        for (const std::string &name : answers) ::unsetenv(name.c_str());
        ::unsetenv("RECORDER_LOG");
        reset_log_state();
    }
    // Puts a built plug-in into the store's plugins directory under `name`.
    void install(const std::string &built_name, const std::string &name)
    {
        fs::create_symlink(built + "/" + built_name, dir.path() + "/plugins/" + name);
    }
    void answer(const std::string &tag, const std::string &entry, int code)
    {
        std::string name = "RECORDER_" + tag + "_" + entry;
        for (char &c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        ::setenv(name.c_str(), std::to_string(code).c_str(), 1);
        answers.push_back(name);
    }
    // The calls logged since the last look, one "tag entry" per item.
    std::vector<std::string> calls()
    {
        std::vector<std::string> out;
        if (!dir.exists("calls.log")) return out;
        const std::string log = dir.read("calls.log");
        std::size_t at = 0;
        while (at < log.size()) {
            const std::size_t end = log.find('\n', at);
            out.push_back(log.substr(at, end - at));
            at = end + 1;
        }
        fs::remove(dir.path() + "/calls.log");
        return out;
    }
    // The recorder tags of the loaded plug-ins, in load order.
    static std::vector<std::string> loaded_tags()
    {
        std::vector<std::string> tags;
        for (var *p = DICT_PLUGINS->next; p; p = p->next) {
            const std::string path = p->name;
            const std::size_t us = path.rfind('_');
            tags.push_back(path.substr(us + 1, 1));
        }
        return tags;
    }
    static std::vector<std::string> paths_of(text *t)
    {
        std::vector<std::string> out;
        for (textstring *s = t ? t->first : nullptr; s; s = s->next) out.push_back(s->string);
        return out;
    }

    TempDir dir;
    WorkingDirectory cwd;
    FreshDictionaries dicts;
    std::vector<std::string> answers;
};

}  // namespace

TEST_F(Plugins, LoadsAcceptableLibrariesInDirectoryOrderAndSkipsTheRest)
{
    install("recorder_a.so", "recorder_a.so");
    install("recorder_b.so", "recorder_b.SO");
    install("recorder_c.so", "recorder_c.dll");
    install("recorder_a.so", "recorder_x.txt");  // a library, but not by its name
    dir.write("plugins/README", "not a plug-in");
    dir.write("plugins/broken.so", "this is text, not a library\n");

    text *listed = Orvel_fetch_plugin_pathnames();
    const std::vector<std::string> candidates = paths_of(listed);
    free_text(listed);
    ASSERT_EQ(candidates.size(), 4u);  // a, b, c and broken, in directory order
    for (const std::string &p : candidates) EXPECT_EQ(p.rfind(dir.path() + "/plugins/", 0), 0u) << p;

    EXPECT_EQ(init_plugins(), 3);
    std::vector<std::string> expected;
    for (const std::string &p : candidates)
        if (p.find("broken") == std::string::npos) expected.push_back(p);
    std::vector<std::string> loaded;
    for (var *p = DICT_PLUGINS->next; p; p = p->next) {
        loaded.push_back(p->name);
        EXPECT_NE(value_as_void(p->value), nullptr);
    }
    EXPECT_EQ(loaded, expected);

    // Each library's plugin_init ran once, in load order.
    std::vector<std::string> inits;
    for (const std::string &tag : loaded_tags()) inits.push_back(tag + " plugin_init");
    EXPECT_EQ(calls(), inits);

    // The unloadable file is logged with the loader's reason and skipped.
    const std::string errors = dir.read("orvel.err");
    EXPECT_NE(errors.find("plugin open failed for " + dir.path() + "/plugins/broken.so: "), std::string::npos)
        << errors;
}

TEST_F(Plugins, ExtensionListReplacesTheDefault)
{
    install("recorder_a.so", "recorder_a.so");
    install("recorder_b.so", "recorder_b.plug");
    set_string(DICT_CONFIG, "PLUGIN_EXTENSIONS", "txt;PLUG");
    text *listed = Orvel_fetch_plugin_pathnames();
    EXPECT_EQ(paths_of(listed), std::vector<std::string>{dir.path() + "/plugins/recorder_b.plug"});
    free_text(listed);
    EXPECT_EQ(init_plugins(), 1);
    EXPECT_EQ(loaded_tags(), std::vector<std::string>{"b"});
}

TEST_F(Plugins, NoDirectoryOrNothingAcceptableLoadsNothing)
{
    EXPECT_EQ(init_plugins(), 0);
    fs::remove(dir.path() + "/plugins");
    EXPECT_EQ(Orvel_fetch_plugin_pathnames(), nullptr);
    EXPECT_EQ(init_plugins(), 0);
    EXPECT_EQ(var_length(DICT_PLUGINS), 0);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), PLUGIN_NOBODY);
}

TEST_F(Plugins, RefusalInInitLeavesThePluginOut)
{
    install("recorder_a.so", "recorder_a.so");
    install("recorder_b.so", "recorder_b.so");
    answer("b", "plugin_init", PLUGIN_REFUSED);
    // Any other answer from plugin_init is not a refusal.
    answer("a", "plugin_init", PLUGIN_FAILED);
    EXPECT_EQ(init_plugins(), 1);
    EXPECT_EQ(loaded_tags(), std::vector<std::string>{"a"});
    EXPECT_NE(dir.read("orvel.err").find("plugin init failed for " + dir.path() + "/plugins/recorder_b.so"),
              std::string::npos);
    calls();
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), 0);
    EXPECT_EQ(calls(), std::vector<std::string>{"a plugin_pre_action"});
}

TEST_F(Plugins, PollingFollowsLoadOrderAndTheResultCodes)
{
    install("recorder_a.so", "recorder_a.so");
    install("recorder_b.so", "recorder_b.so");
    install("recorder_c.so", "recorder_c.so");
    install("recorder_silent.so", "recorder_silent.so");
    ASSERT_EQ(init_plugins(), 4);
    std::vector<std::string> order = loaded_tags();
    order.erase(std::find(order.begin(), order.end(), "s"));  // the silent one
    ASSERT_EQ(order.size(), 3u);
    calls();
    auto called = [&](std::initializer_list<int> which) {
        std::vector<std::string> out;
        for (int i : which) out.push_back(order[i] + " plugin_pre_action");
        return out;
    };

    // Nobody answers anything special: all are called, the last answer wins.
    answer(order[2], "plugin_pre_action", 42);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), 42);
    EXPECT_EQ(calls(), called({0, 1, 2}));

    // A failure is logged and polling goes on.
    answer(order[0], "plugin_pre_action", PLUGIN_FAILED);
    answer(order[2], "plugin_pre_action", 0);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), 0);
    EXPECT_EQ(calls(), called({0, 1, 2}));
    const std::string first_path = dir.path() + "/plugins/recorder_" + order[0] + ".so";
    EXPECT_NE(dir.read("orvel.bug").find(first_path + "::plugin_pre_action => PLUGIN_FAILED, continuing"),
              std::string::npos);

    // STOP and HANDLED end the poll at once.
    answer(order[1], "plugin_pre_action", PLUGIN_STOP);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), PLUGIN_STOP);
    EXPECT_EQ(calls(), called({0, 1}));
    answer(order[1], "plugin_pre_action", PLUGIN_HANDLED);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), PLUGIN_HANDLED);
    EXPECT_EQ(calls(), called({0, 1}));
    answer(order[0], "plugin_pre_action", PLUGIN_HANDLED);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), PLUGIN_HANDLED);
    EXPECT_EQ(calls(), called({0}));

    // The last plug-in failing leaves its failure as the poll's answer.
    answer(order[0], "plugin_pre_action", 0);
    answer(order[1], "plugin_pre_action", 0);
    answer(order[2], "plugin_pre_action", PLUGIN_FAILED);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), PLUGIN_FAILED);
    calls();

    // An entry point that no plug-in has: nobody called.
    EXPECT_EQ(poll_plugins("plugin_login", nullptr), PLUGIN_NOBODY);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(poll_plugins(nullptr, nullptr), PLUGIN_NOBODY);
}

TEST_F(Plugins, DisabledPluginsOpenNothingAndAnswerDisabled)
{
    install("recorder_a.so", "recorder_a.so");
    set_string(DICT_CONFIG, "DISABLE_PLUGINS", "yes");
    EXPECT_EQ(init_plugins(), PLUGIN_DISABLED);
    EXPECT_EQ(var_length(DICT_PLUGINS), 0);
    EXPECT_EQ(poll_plugins("plugin_pre_action", nullptr), PLUGIN_DISABLED);
    EXPECT_TRUE(calls().empty());
}

TEST_F(Plugins, ShutdownPollsOnceAndOnlyOnce)
{
    install("recorder_a.so", "recorder_a.so");
    ASSERT_EQ(init_plugins(), 1);
    calls();
    shutdown_plugins();
    EXPECT_EQ(calls(), std::vector<std::string>{"a plugin_shutdown"});
    shutdown_plugins();
    EXPECT_TRUE(calls().empty());
}
