#include "tests/support/HttpListener.hpp"

#include <stdexcept>

namespace testsupport {

HttpListener::HttpListener(httplib::Server& server) : server_(server), port_(server.bind_to_any_port("127.0.0.1")) {
    if (port_ < 0) {
        throw std::runtime_error("cannot bind a port on 127.0.0.1");
    }
    thread_ = std::thread([this] {
        server_.listen_after_bind();
        listenEnded_ = true;
    });
    // stop() does nothing to a server whose listen loop has not begun yet, so a listener destroyed at once
    // would wait for that loop for good.
    while (!server_.is_running() && !listenEnded_) {
        std::this_thread::yield();
    }
}

HttpListener::~HttpListener() {
    server_.stop();
    thread_.join();
}

} // namespace testsupport
