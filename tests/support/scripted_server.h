// A TCP server on 127.0.0.1 for client tests: a background thread accepts
// one connection at a time, reads the request up to its empty line, records
// it, sends the pieces of the current reply (each a separate write, with an
// optional pause before it) and closes the connection.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvel_test {

struct ScriptedReply {
    std::vector<std::string> pieces;     // written one after another
    std::chrono::milliseconds pause{0};  // before each piece after the first
};

class ScriptedServer {
public:
    ScriptedServer();   // listening when port() > 0
    ~ScriptedServer();  // stops the thread
    ScriptedServer(const ScriptedServer &) = delete;
    ScriptedServer &operator=(const ScriptedServer &) = delete;

    int port() const { return port_; }
    // The reply for the following connections.
    void reply(ScriptedReply r);
    void reply(const std::string &whole) { reply(ScriptedReply{{whole}, {}}); }
    // Requests received so far, in order.
    std::vector<std::string> requests() const;

private:
    void serve();

    int listen_fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    ScriptedReply reply_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace orvel_test
