// End-to-end: the demo store laid out by tools/demo-layout.sh, served by
// lighttpd and browsed by an HTTP client that keeps cookies like a browser.
#include "demo_server.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvel_test;
using namespace demo_test;
namespace fs = std::filesystem;

TEST(DemoStore, BrowseDetailAddViewBackReturn) {
    DemoServer server;
    HttpClient browser(server.port());

    HttpResponse start = browser.get("/cgi-bin/orvel");
    expect_clean_page(start, "start page");
    EXPECT_TRUE(contains(start.body, "Welcome to Leaf &amp; Bean")) << start.body;
    EXPECT_TRUE(contains(start.body, "Darjeeling First Flush"));
    EXPECT_TRUE(contains(start.header("Set-Cookie"), "orvelcookie=OvSt")) << start.header("Set-Cookie");

    HttpResponse tea = browser.get("/cgi-bin/orvel?action=serve&item=tea.html");
    expect_clean_page(tea, "category page");
    EXPECT_TRUE(contains(tea.body, "<title>Tea &ndash; Leaf &amp; Bean</title>")) << tea.body;
    EXPECT_TRUE(contains(tea.body, "Moroccan Mint"));
    EXPECT_TRUE(contains(tea.body, "Masala Chai"));
    EXPECT_FALSE(contains(tea.body, "Ethiopia Yirgacheffe")) << "a coffee on the tea page";

    HttpResponse detail = browser.get("/cgi-bin/orvel?action=detail&item=C_ETH");
    expect_clean_page(detail, "product page");
    EXPECT_TRUE(contains(detail.body, "<title>Ethiopia Yirgacheffe &ndash;")) << detail.body;
    EXPECT_TRUE(contains(detail.body, "$12.90"));
    EXPECT_TRUE(contains(detail.body, "item=coffee.html\">&larr; Continue shopping in Coffee")) << detail.body;

    // ADD answers with a redirection that sets the quantity: following it
    // twice (a reload) does not add again.
    HttpResponse add = browser.post("/cgi-bin/orvel", "action=add&item=C_ETH");
    EXPECT_EQ(add.status, 303) << add.body;
    add = browser.post("/cgi-bin/orvel", "action=add&item=C_ETH&ARG_QUANTITY=2");
    ASSERT_EQ(add.status, 303);
    EXPECT_TRUE(contains(add.header("Location"), "action=view&PRODUCT_C_ETH=3")) << add.header("Location");
    HttpResponse added = browser.get(add.header("Location"));
    expect_clean_page(added, "cart after adding");
    EXPECT_TRUE(contains(added.body, "Added to your cart: <strong>Ethiopia Yirgacheffe</strong>")) << added.body;
    added = browser.get(add.header("Location"));
    EXPECT_TRUE(contains(added.body, "NAME=\"PRODUCT_C_ETH\" VALUE=\"3\"")) << added.body;

    browser.get(browser.post("/cgi-bin/orvel", "action=add&item=T_EARL").header("Location"));
    HttpResponse view = browser.get("/cgi-bin/orvel?action=view");
    expect_clean_page(view, "cart");
    EXPECT_FALSE(contains(view.body, "Added to your cart")) << "a plain cart view claims an addition";
    EXPECT_TRUE(contains(view.body, "NAME=\"PRODUCT_T_EARL\" VALUE=\"1\"")) << view.body;
    EXPECT_TRUE(contains(view.body, "$38.70")) << "3 x 12.90\n" << view.body;
    EXPECT_TRUE(contains(view.body, "$47.70")) << "merchandise total\n" << view.body;

    // BACK after a detail page goes to that page again.
    browser.get("/cgi-bin/orvel?action=detail&item=K_POT");
    HttpResponse back = browser.get("/cgi-bin/orvel?action=back");
    EXPECT_EQ(back.status, 303) << back.body;
    EXPECT_TRUE(contains(back.header("Location"), "?action=detail&item=K_POT")) << back.header("Location");

    // RETURN goes back to the last page served.
    HttpResponse ret = browser.get("/cgi-bin/orvel?action=return");
    EXPECT_EQ(ret.status, 200);
    EXPECT_TRUE(contains(ret.body, "Moroccan Mint")) << ret.body;
}

TEST(DemoStore, CartRemoveUpdateAndConfirmedEmptying) {
    DemoServer server;
    HttpClient browser(server.port());
    browser.get("/");
    browser.post("/cgi-bin/orvel", "action=add&item=T_MINT&ARG_QUANTITY=2");
    browser.post("/cgi-bin/orvel", "action=add&item=B_TEA");

    HttpResponse removed = browser.post("/cgi-bin/orvel", "action=view&ARG_UPDATED=1&PRODUCT_B_TEA=0");
    expect_clean_page(removed, "cart after removing");
    EXPECT_TRUE(contains(removed.body, "Your cart has been updated.")) << removed.body;
    EXPECT_FALSE(contains(removed.body, "Added to your cart")) << removed.body;
    EXPECT_FALSE(contains(removed.body, "PRODUCT_B_TEA\" VALUE")) << removed.body;
    EXPECT_TRUE(contains(removed.body, "id=\"remove-T_MINT\"")) << "a remove form per line\n" << removed.body;

    HttpResponse confirm = browser.post("/cgi-bin/orvel", "action=confirm_empty");
    expect_clean_page(confirm, "emptying confirmation");
    EXPECT_TRUE(contains(confirm.body, "This removes all 2 items ($15.50)")) << confirm.body;
    EXPECT_TRUE(contains(confirm.body, "name=\"action\" value=\"clear\"")) << confirm.body;
    EXPECT_TRUE(contains(browser.get("/cgi-bin/orvel?action=view").body, "PRODUCT_T_MINT\" VALUE=\"2\""))
        << "asking must not empty the cart";

    expect_clean_page(browser.post("/cgi-bin/orvel", "action=clear"), "cart emptied");
    HttpResponse empty = browser.get("/cgi-bin/orvel?action=view");
    expect_clean_page(empty, "empty cart");
    EXPECT_TRUE(contains(empty.body, "Your cart is empty")) << empty.body;
}

TEST(DemoStore, ShopperTextIsEscaped) {
    DemoServer server;
    HttpClient browser(server.port());
    HttpResponse note = browser.get("/cgi-bin/orvel?action=note&item=%3Cscript%3Ealert(1)%3C%2Fscript%3E");
    EXPECT_FALSE(contains(note.body, "<script>")) << note.body;
    EXPECT_TRUE(contains(note.body, "&lt;script&gt;")) << note.body;
    HttpResponse bad = browser.get("/cgi-bin/orvel?action=%3Cimg%20src%3Dx%3E");
    EXPECT_FALSE(contains(bad.body, "<IMG SRC=X>")) << bad.body;
    EXPECT_FALSE(contains(bad.body, "<img src=x>")) << bad.body;
}

TEST(DemoStore, ServerShowsOnlyRenderedPagesAndStaticFiles) {
    DemoServer server;
    HttpClient browser(server.port());

    HttpResponse root = browser.get("/");
    expect_clean_page(root, "/");
    EXPECT_TRUE(contains(root.body, "Welcome to Leaf &amp; Bean")) << root.body;

    // Pages under the document directory go through the program.
    HttpResponse index = browser.get("/store/index.html");
    expect_clean_page(index, "/store/index.html");
    EXPECT_TRUE(contains(index.body, "Welcome to Leaf &amp; Bean")) << index.body;
    expect_clean_page(browser.get("/store/coffee.html"), "/store/coffee.html");

    HttpResponse css = browser.get("/store/style.css");
    EXPECT_EQ(css.status, 200);
    EXPECT_TRUE(contains(css.header("Content-Type"), "text/css")) << css.header("Content-Type");
    EXPECT_EQ(browser.get("/store/images/k_pot.svg").status, 200);
    EXPECT_EQ(browser.get("/favicon.ico").status, 200);

    // Nothing else: not the configuration, not the server's own files.
    for (const char *path : {"/cgi-bin/orvel.config", "/cgi-bin/", "/lighttpd.conf", "/.orvel-demo",
                             "/store/../cgi-bin/orvel.config"}) {
        HttpResponse r = browser.get(path);
        EXPECT_GE(r.status, 400) << path;
        EXPECT_FALSE(contains(r.body, "CAT_DIR")) << path;
    }

    // Maintenance and diagnostics are for the shell only.
    HttpResponse cleanup = browser.get("/cgi-bin/orvel?action=cleanup");
    EXPECT_TRUE(contains(cleanup.body, "not permitted")) << cleanup.body;
    EXPECT_FALSE(contains(cleanup.body, "Deleted")) << cleanup.body;
    HttpResponse source = browser.get("/cgi-bin/orvel?action=source&item=index.html");
    EXPECT_FALSE(contains(source.body, "ORVEL_SLURP")) << source.body;

    // From the shell, every directory the maintenance looks at exists.
    Request shell;
    shell.cgi = false;
    shell.args = {"-action", "cleanup", "-cmdline", "1"};
    shell.env["ORVEL_CONFIG"] = server.store() + "/cgi-bin/orvel.config";
    Response maintenance = run_orvel(server.store() + "/cgi-bin", shell);
    EXPECT_EQ(maintenance.exit_status, 0) << maintenance.raw;
    EXPECT_TRUE(contains(maintenance.raw, "Deleted 0 stale pending order files.")) << maintenance.raw;
    EXPECT_FALSE(contains(maintenance.raw, "-1")) << maintenance.raw;
}

TEST(DemoStore, RestartKeepsCartsAndTheMerchantsFiles) {
    DemoServer server;
    HttpClient browser(server.port());
    browser.get("/");
    browser.post("/cgi-bin/orvel", "action=add&item=K_SCALE&ARG_QUANTITY=2");
    const std::string notes = server.store() + "/catalog/notes-by-hand.txt";
    std::ofstream(notes) << "restock the scales\n";

    server.restart();

    HttpResponse view = browser.get("/cgi-bin/orvel?action=view");
    expect_clean_page(view, "cart after a restart");
    EXPECT_TRUE(contains(view.body, "NAME=\"PRODUCT_K_SCALE\" VALUE=\"2\"")) << view.body;
    EXPECT_TRUE(fs::exists(notes));
    for (const char *d : {"users", "pending", "orders", "coupons"})
        EXPECT_TRUE(fs::is_directory(server.store() + "/catalog/" + d)) << d;

    if (::geteuid() == 0) {
        // The program ran as the unprivileged user, who owns the sessions.
        bool found = false;
        for (const auto &entry : fs::directory_iterator(server.store() + "/catalog/users")) {
            struct stat st;
            ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
            EXPECT_NE(st.st_uid, 0u) << entry.path();
            found = true;
        }
        EXPECT_TRUE(found);
    }
}

TEST(DemoStore, LayoutRefusesADirectoryItDidNotMake) {
    TempDir dir;
    const std::string foreign = dir.path() + "/shop";
    fs::create_directories(foreign);
    std::ofstream(foreign + "/precious.txt") << "keep me\n";
    EXPECT_NE(run_layout(foreign, free_local_port()), 0);
    EXPECT_EQ(dir.read("shop/precious.txt"), "keep me\n");
    EXPECT_FALSE(fs::exists(foreign + "/catalog"));
}
