#pragma once

#include "platform/core/ThreadPool.hpp"
#include "platform/sys/FileDescriptor.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/BridgeOutbox.hpp"
#include "platform/ui/BridgeRequestHandler.hpp"
#include "platform/ui/SocketBridge.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform::ui {

// One client of the socket bridge, served by the bridge's I/O thread: reads request lines and hands them to
// its request handler, and writes the replies and the events of the channels it listens to.
class BridgeConnection {
public:
    BridgeConnection(sys::FileDescriptor socket, BinaryMessenger& messenger, core::ThreadPool& requestPool,
                     std::shared_ptr<const sys::WakeupSignal> wakeup, const BridgeLimits& limits);
    BridgeConnection(const BridgeConnection&) = delete;
    BridgeConnection& operator=(const BridgeConnection&) = delete;

    int descriptor() const { return socket_.get(); }
    // The poll() events the connection waits for: no input while the lines read wait to be handled.
    short wantedEvents() const;

    // Reads and writes what the socket allows after poll() reported `events`; false once the client has
    // gone, failed, or let too much output pile up.
    bool service(short events);

    // The event channels this client listens to, in name order.
    std::vector<std::string> listenedChannels() const;

    // Ends the connection: the streams this client still listens to are cancelled, lines and replies still
    // to come are dropped, and the socket is closed.
    void close();

private:
    bool readAvailable();
    bool writePending();
    void handleInput(std::size_t searchFrom);

    sys::FileDescriptor socket_;
    std::shared_ptr<BridgeOutbox> outbox_;
    std::shared_ptr<BridgeRequestHandler> requests_;
    const std::size_t maximumLineLength_;
    std::string input_;
    bool skippingLongLine_ = false;
    std::string output_;
    std::size_t outputOffset_ = 0;
};

} // namespace platform::ui
