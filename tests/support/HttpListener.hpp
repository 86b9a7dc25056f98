#pragma once

#include <httplib.h>

#include <atomic>
#include <thread>

namespace testsupport {

// Serves a cpp-httplib server on 127.0.0.1, on an ephemeral port, from a thread of its own; stops it and
// waits for that thread when destroyed. The server's routes must be set before, and whatever its handlers
// use must outlive the listener.
class HttpListener {
public:
    explicit HttpListener(httplib::Server& server);
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    int port() const { return port_; }

private:
    httplib::Server& server_;
    int port_;
    std::atomic<bool> listenEnded_ = false;
    std::thread thread_;
};

} // namespace testsupport
