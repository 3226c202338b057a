// Mutation fuzzing of the HTTP client, run by hand (best in the sanitizer
// build):
//   build-asan/fuzz/http_fuzz [parse-iterations] [fetch-iterations] [seed]
// First the response parser alone on mutated responses, then whole fetches
// from a server on 127.0.0.1 that answers with mutated responses cut into
// random pieces.  A fault is a sanitizer report (the program stops), a fetch
// that does not return within ten seconds (SIGALRM), or an output that
// breaks the record's promises (status out of range, a body longer than the
// input, a successful fetch without a protocol).
#include "mutate.h"
#include "support/scripted_server.h"

#include <orvel.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const std::vector<std::string> seeds = {
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello",
    "HTTP/1.1 404 Not Found\r\nServer: x\r\nX-A: 1\r\nX-A: 2\r\n\r\n<html>missing</html>\n",
    "HTTP/1.0 200 OK\n\nPRICE: 4.50\nNAME = Tea # comment\n",
    "HTTP/1.0 302 Found\r\nLocation: /elsewhere\r\n\r\n",
    "HTTP/1.0 500\r\n\r\n",
};

long check(const HTTP_Output *out, std::size_t input_size, const char *what, long i)
{
    if (!out) {
        std::fprintf(stderr, "fault: %s %ld returned no output\n", what, i);
        return 1;
    }
    const bool status_ok = out->status == 0 || (out->status >= 100 && out->status <= 999);
    const bool body_ok = out->body && out->body->length <= input_size;
    const bool protocol_ok = out->error || out->protocol;
    if (status_ok && body_ok && protocol_ok) return 0;
    std::fprintf(stderr, "fault: %s %ld: status %d, body %zu of %zu input bytes, error %s\n", what, i, out->status,
                 out->body ? out->body->length : 0, input_size, out->error ? out->error : "(none)");
    return 1;
}

}  // namespace

int main(int argc, char **argv)
{
    const long parses = argc > 1 ? std::atol(argv[1]) : 200000;
    const long fetches = argc > 2 ? std::atol(argv[2]) : 2000;
    fuzz::Random rng(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1);
    Orvel_initialize();
    long faults = 0;

    for (long i = 0; i < parses; ++i) {
        const std::string input = fuzz::mutate(seeds[rng.below(seeds.size())], rng);
        ByteStream *bytes = new_ByteStream(0);
        ByteStream_append(bytes, input.data(), input.size());
        HTTP_Output *out = HTTP_parse_output(bytes, nullptr);
        faults += check(out, input.size(), "parse", i);
        if (out) {
            text *lines = HTTP_Output_to_broken_text(out);
            free_text(lines);
            var *dict = HTTP_Output_to_var(out);
            if (dict) nuke_var(dict);
        }
        free_HTTP_Output(out);
        free_ByteStream(bytes);
    }

    orvel_test::ScriptedServer server;
    if (server.port() <= 0) {
        std::fprintf(stderr, "no local server\n");
        return 2;
    }
    for (long i = 0; i < fetches; ++i) {
        const std::string input = fuzz::mutate(seeds[rng.below(seeds.size())], rng);
        orvel_test::ScriptedReply reply;
        for (std::size_t at = 0; at < input.size();) {
            const std::size_t piece = 1 + rng.below(input.size() - at);
            reply.pieces.push_back(input.substr(at, piece));
            at += piece;
        }
        server.reply(reply);
        ::alarm(10);
        HTTP_Output *out = HTTP_fetch_url_binary("127.0.0.1", server.port(), "/fuzz");
        ::alarm(0);
        faults += check(out, input.size(), "fetch", i);
        free_HTTP_Output(out);
    }
    Orvel_deinitialize();
    std::printf("http_fuzz: %ld parser inputs and %ld fetches tried, %ld faults\n", parses, fetches, faults);
    return faults ? 1 : 0;
}
