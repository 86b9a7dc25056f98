#include "LoopbackServer.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace nettest {

namespace {

// Long enough for any test, short enough that a broken test fails instead of hanging.
constexpr auto waitLimit = std::chrono::seconds(20);

} // namespace

LoopbackServer::LoopbackServer() {
    server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back({.method = request.method, .target = request.target, .headers = request.headers});
        }
        changed_.notify_all();
        return httplib::Server::HandlerResponse::Unhandled;
    });
}

LoopbackServer::~LoopbackServer() {
    release();
    listener_.reset();
}

void LoopbackServer::start() {
    listener_.emplace(server_);
    port_ = listener_->port();
}

std::string LoopbackServer::url(std::string_view path, std::string_view host) const {
    return std::string("http://").append(host).append(":").append(std::to_string(port_)).append(path);
}

std::vector<ReceivedRequest> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackServer::waitForRequests(std::size_t count) const {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, waitLimit, [&] { return requests_.size() >= count; }));
}

void LoopbackServer::stallUntilReleased() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, waitLimit, [&] { return released_; });
}

void LoopbackServer::release() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

} // namespace nettest
