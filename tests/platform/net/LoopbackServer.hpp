#pragma once

#include "tests/support/HttpListener.hpp"

#include <httplib.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nettest {

struct ReceivedRequest {
    std::string method;
    std::string target;
    httplib::Headers headers;
};

// A cpp-httplib server on 127.0.0.1 with an ephemeral port. A test adds its routes through http(), then
// calls start(). The server records every request it receives, and its handlers can stall until the test
// (or the server's end) releases them.
class LoopbackServer {
public:
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& http() { return server_; }
    void start();

    int port() const { return port_; }
    // "http://" + host + ":" + port + path.
    std::string url(std::string_view path, std::string_view host = "127.0.0.1") const;

    std::vector<ReceivedRequest> requests() const;
    void waitForRequests(std::size_t count) const;

    // For handlers: returns once release() was called or the server is going away.
    void stallUntilReleased();
    void release();

private:
    httplib::Server server_;
    int port_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ReceivedRequest> requests_;
    bool released_ = false;
    // Last, so it stops serving before anything its handlers use goes away.
    std::optional<testsupport::HttpListener> listener_;
};

} // namespace nettest
