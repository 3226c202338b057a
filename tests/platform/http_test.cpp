// The HTTP/1.0 client against a scripted server on 127.0.0.1, the response
// parser on its own, byte streams and the socket helpers.
#include "platform/http.h"
#include "platform/log.h"
#include "support/cgi_harness.h"
#include "support/http_client.h"
#include "support/scripted_server.h"
#include "support/state.h"
#include "vars/vars.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace orvel_test;

namespace {

struct OutputDeleter {
    void operator()(HTTP_Output *o) const { free_HTTP_Output(o); }
};
using Output = std::unique_ptr<HTTP_Output, OutputDeleter>;

std::string body_of(const HTTP_Output *o) { return std::string(reinterpret_cast<const char *>(o->body->bytes), o->body->length); }
std::string header(const HTTP_Output *o, const char *name) { return std::string(var_string(o->headers, name)); }

Output parse(const std::string &raw)
{
    ByteStream *bytes = new_ByteStream(0);
    ByteStream_append(bytes, raw.data(), raw.size());
    Output out(HTTP_parse_output(bytes, nullptr));
    free_ByteStream(bytes);
    return out;
}

std::vector<std::string> lines_of(text *t)
{
    std::vector<std::string> out;
    for (textstring *s = t->first; s; s = s->next) out.push_back(s->string);
    free_text(t);
    return out;
}

class Http : public ::testing::Test {
protected:
    FreshDictionaries dicts;
    ScriptedServer server;
};

}  // namespace

TEST_F(Http, FetchGivesStatusHeadersAndBody)
{
    ASSERT_GT(server.port(), 0);
    server.reply("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\ncontent-length: 5\r\nX-Twice: one\r\n"
                 "X-Twice: two\r\nno colon here\r\n\r\nhello");
    Output out(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/price?sku=7"));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(http_error(out.get()), "");
    EXPECT_EQ(out->status, 200);
    EXPECT_STREQ(out->protocol, "HTTP/1.0");
    EXPECT_STREQ(out->reason, " OK");
    EXPECT_EQ(header(out.get(), "CONTENT-TYPE"), "text/plain");
    EXPECT_EQ(header(out.get(), "CONTENT-LENGTH"), "5");
    EXPECT_EQ(header(out.get(), "X-TWICE"), "two");
    EXPECT_EQ(var_length(out->headers), 3);
    EXPECT_EQ(body_of(out.get()), "hello");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "GET /price?sku=7 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
}

TEST_F(Http, BodyLargerThanOneReadArrivesWhole)
{
    std::string body;
    for (int i = 0; body.size() < 300000; ++i) body += std::to_string(i) + (i % 7 ? ',' : '\n');
    body += std::string("\0\r\xff", 3);
    // In pieces with pauses, so the client sees many short reads.
    ScriptedReply reply;
    reply.pieces.push_back("HTTP/1.1 404 Not Found\r\n\r\n");
    for (std::size_t at = 0; at < body.size(); at += 50000) reply.pieces.push_back(body.substr(at, 50000));
    reply.pause = std::chrono::milliseconds(5);
    server.reply(reply);
    Output out(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/big"));
    EXPECT_EQ(http_error(out.get()), "");
    EXPECT_EQ(out->status, 404);
    EXPECT_STREQ(out->reason, " Not Found");
    EXPECT_EQ(body_of(out.get()), body);
}

TEST_F(Http, ServerClosingEarlyKeepsWhatArrived)
{
    server.reply("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\npartial");
    Output out(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/"));
    EXPECT_EQ(http_error(out.get()), "");
    EXPECT_EQ(body_of(out.get()), "partial");

    // Closing in the middle of the headers, and before saying anything.
    server.reply("HTTP/1.0 200 OK\r\nContent-Ty");
    out.reset(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/"));
    EXPECT_EQ(out->status, 200);
    EXPECT_EQ(body_of(out.get()), "");
    server.reply("");
    out.reset(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/"));
    EXPECT_EQ(http_error(out.get()), "response has no status line");
    EXPECT_EQ(out->status, 0);
}

TEST_F(Http, GarbageAnswersAreErrorsNotCrashes)
{
    std::string noise;
    for (int i = 0; i < 5000; ++i) noise += static_cast<char>((i * 7919) % 251);
    server.reply(noise);
    Output out(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/"));
    EXPECT_NE(http_error(out.get()), "");

    for (const char *bad : {"HTTP/1.0\r\n\r\nx", "HTTP/1.0 OK 200\r\n\r\n", "HTTP/1.0 20\r\n\r\n",
                            "HTTP/1.0 20000 Big\r\n\r\n", "HTTP/1.0 004 Low\r\n\r\n", "HTTPS 99x\r\n\r\n"}) {
        server.reply(bad);
        out.reset(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/"));
        EXPECT_EQ(http_error(out.get()), "malformed status line") << bad;
        EXPECT_EQ(out->status, 0) << bad;
    }

    // A header block that never ends.
    server.reply("HTTP/1.0 200 OK\r\n" + std::string(HTTP_MAX_HEADER_BYTES, 'h'));
    out.reset(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/"));
    EXPECT_EQ(http_error(out.get()), "response headers too long");
}

TEST_F(Http, ResponsesPastTheLimitAreCutAndReported)
{
    ScriptedReply reply;
    reply.pieces.push_back("HTTP/1.0 200 OK\r\n\r\n");
    const std::string mb(1024 * 1024, 'z');
    for (unsigned i = 0; i <= HTTP_MAX_RESPONSE_BYTES / mb.size(); ++i) reply.pieces.push_back(mb);
    server.reply(reply);
    Output out(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/"));
    EXPECT_EQ(http_error(out.get()).rfind("response larger than ", 0), 0u) << http_error(out.get());
    EXPECT_LE(out->body->length, HTTP_MAX_RESPONSE_BYTES);
}

TEST_F(Http, ConnectionFailuresAndUnsafeRequests)
{
    Output out(HTTP_fetch_url_binary("127.0.0.1", free_local_port(), "/"));
    EXPECT_EQ(http_error(out.get()).rfind("failed to connect: ", 0), 0u) << http_error(out.get());
    out.reset(HTTP_fetch_url_binary("no-such-host.invalid", 80, "/"));
    EXPECT_EQ(http_error(out.get()).rfind("failed to connect: ", 0), 0u);
    out.reset(HTTP_fetch_url_binary("127.0.0.1", 0, "/"));
    EXPECT_EQ(http_error(out.get()).rfind("failed to connect: ", 0), 0u);

    // A line break in the path would let the caller's text add headers.
    out.reset(HTTP_fetch_url_binary("127.0.0.1", server.port(), "/x HTTP/1.0\r\nX-Evil: 1\r\n"));
    EXPECT_NE(http_error(out.get()), "");
    out.reset(HTTP_fetch_url_binary(nullptr, server.port(), "/"));
    EXPECT_NE(http_error(out.get()), "");
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(Http, ParserReadsResponsesWithoutHeaders)
{
    Output out = parse("HTTP/1.0 200 OK\n\nwhole\nbody\n");
    EXPECT_EQ(http_error(out.get()), "");
    EXPECT_EQ(out->status, 200);
    EXPECT_EQ(var_length(out->headers), 0);
    EXPECT_EQ(body_of(out.get()), "whole\nbody\n");

    // NUL and CR bytes in the header block are ignored; the body keeps them.
    out = parse(std::string("HTTP/1.0 302\r\nLoca\0tion: /x\r\n\r\n\0\r", 33));
    EXPECT_EQ(out->status, 302);
    EXPECT_STREQ(out->reason, "");
    EXPECT_EQ(header(out.get(), "LOCATION"), "/x");
    EXPECT_EQ(body_of(out.get()), std::string("\0\r", 2));

    // Parsing into a record the caller made.
    HTTP_Output *mine = new_HTTP_Output();
    ByteStream *bytes = new_ByteStream(4);
    ByteStream_append(bytes, "HTTP/1.0 500 Oops\n\n", 19);
    EXPECT_EQ(HTTP_parse_output(bytes, mine), mine);
    EXPECT_EQ(mine->status, 500);
    free_ByteStream(bytes);
    free_HTTP_Output(mine);
}

TEST(ByteStreams, GrowZeroFillsAndAppendCopies)
{
    ByteStream *s = new_ByteStream(4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->capacity, 4u);
    EXPECT_EQ(s->length, 0u);
    EXPECT_EQ(ByteStream_append(s, "abcdef", 6), 0);
    EXPECT_EQ(s->capacity, 6u);
    EXPECT_EQ(ByteStream_grow(s, 100), 0);
    EXPECT_EQ(s->capacity, 100u);
    for (std::size_t i = 6; i < 100; ++i) ASSERT_EQ(s->bytes[i], 0) << i;
    EXPECT_EQ(ByteStream_grow(s, 10), 0);  // never shrinks
    EXPECT_EQ(s->capacity, 100u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(s->bytes), s->length), "abcdef");
    EXPECT_EQ(ByteStream_append(s, nullptr, 3), -1);
    EXPECT_EQ(s->length, 6u);
    free_ByteStream(s);
}

TEST(ByteStreams, BrokenTextDropsCrAndNul)
{
    ByteStream *s = new_ByteStream(0);
    ByteStream_append(s, "a\r\nb\0c\n\nlast", 12);
    EXPECT_EQ(lines_of(ByteStream_to_broken_text(s)), (std::vector<std::string>{"a", "bc", "", "last"}));
    ByteStream_append(s, "\n", 1);
    EXPECT_EQ(lines_of(ByteStream_to_broken_text(s)), (std::vector<std::string>{"a", "bc", "", "last"}));
    free_ByteStream(s);
}

TEST(ByteStreams, FilesAndDictionariesFromTheBody)
{
    FreshDictionaries dicts;
    TempDir dir;
    Output out = parse("HTTP/1.0 200 OK\nContent-Length: 12\n\nPRICE: 4.50\nNAME = Tea # a comment\nignored");
    EXPECT_EQ(HTTP_Output_to_file(out.get(), (dir.path() + "/cut.txt").c_str()), 12);
    EXPECT_EQ(dir.read("cut.txt"), "PRICE: 4.50\n");
    EXPECT_EQ(ByteStream_to_file(out->body, (dir.path() + "/all.exe").c_str()),
              static_cast<long>(out->body->length));
    EXPECT_EQ(HTTP_Output_to_file(out.get(), (dir.path() + "/no/such/dir").c_str()), -1);

    // A declared length larger than the body, or nonsense, writes it all.
    Output longer = parse("HTTP/1.0 200 OK\nContent-Length: 900\n\nshort");
    EXPECT_EQ(HTTP_Output_to_file(longer.get(), (dir.path() + "/l.txt").c_str()), 5);
    Output nonsense = parse("HTTP/1.0 200 OK\nContent-Length: -3\n\nshort");
    EXPECT_EQ(HTTP_Output_to_file(nonsense.get(), (dir.path() + "/n.txt").c_str()), 5);

    var *dict = HTTP_Output_to_var(out.get());
    ASSERT_NE(dict, nullptr);
    EXPECT_EQ(var_string(dict, "PRICE"), "4.50");
    EXPECT_EQ(var_string(dict, "NAME"), "Tea");
    EXPECT_EQ(var_length(dict), 2);
    nuke_var(dict);
}

TEST(Sockets, LookupsAndFailures)
{
    TempDir dir;
    WorkingDirectory cwd(dir.path());
    FreshDictionaries dicts;
    dir.write("orvel.bug", "");
    reset_log_state();

    char *host = Orvel_net_localhost();
    ASSERT_NE(host, nullptr);
    EXPECT_GT(std::strlen(host), 0u);
    std::free(host);
    char *ip = Orvel_net_ipaddr("127.0.0.1");
    ASSERT_NE(ip, nullptr);
    EXPECT_STREQ(ip, "127.0.0.1");
    std::free(ip);
    EXPECT_EQ(Orvel_net_ipaddr("no-such-host.invalid"), nullptr);
    EXPECT_EQ(Orvel_net_open("no-such-host.invalid", 80), -1);
    char buf[8];
    EXPECT_EQ(Orvel_net_read(-1, buf, sizeof buf), -1);
    EXPECT_EQ(Orvel_net_write(-1, "x", 1), -1);

    const std::string log = dir.read("orvel.bug");
    EXPECT_NE(log.find("Orvel_net_ipaddr: failed to lookup host no-such-host.invalid"), std::string::npos) << log;
    EXPECT_NE(log.find("Orvel_net_open: failed to get IP address for no-such-host.invalid"), std::string::npos);
    EXPECT_NE(log.find("Orvel_net_read: failed ("), std::string::npos);
    EXPECT_NE(log.find("Orvel_net_write: failed ("), std::string::npos);
    reset_log_state();
}
