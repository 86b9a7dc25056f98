#pragma once

#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/BridgeOutbox.hpp"
#include "platform/sys/FileDescriptor.hpp"
#include "platform/ui/SocketBridge.hpp"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

struct BridgeRequest;

// One client of the socket bridge, served by the bridge's I/O thread: reads request lines, hands the calls
// to the messenger, and writes the replies and the events of the channels it listens to.
class BridgeConnection {
public:
    BridgeConnection(sys::FileDescriptor socket, BinaryMessenger& messenger, std::shared_ptr<const sys::WakeupSignal> wakeup,
                     const BridgeLimits& limits);
    BridgeConnection(const BridgeConnection&) = delete;
    BridgeConnection& operator=(const BridgeConnection&) = delete;

    int descriptor() const { return socket_.get(); }
    // The poll() events the connection waits for.
    short wantedEvents() const;

    // Reads and writes what the socket allows after poll() reported `events`; false once the client has
    // gone, failed, or let too much output pile up.
    bool service(short events);

    // The event channels this client listens to, in name order.
    std::vector<std::string> listenedChannels() const;

    // Ends the connection: the streams this client still listens to are cancelled, replies still to come
    // are dropped, and the socket is closed.
    void close();

private:
    bool readAvailable();
    bool writePending();
    void handleInput(std::size_t searchFrom);
    void refuseLongLine();
    void handleLine(std::string_view line);
    void handleRequest(BridgeRequest request);
    void listen(BridgeRequest request);
    void cancel(BridgeRequest request);
    void forward(BridgeRequest request, BinaryMessenger::ReplyHandler afterReply = {});

    sys::FileDescriptor socket_;
    BinaryMessenger& messenger_;
    std::shared_ptr<BridgeOutbox> outbox_;
    const std::size_t maximumLineLength_;
    std::string input_;
    bool skippingLongLine_ = false;
    std::string output_;
    std::size_t outputOffset_ = 0;
    // The event channels this client listens to, with the id of the receiver installed for it. Shared with
    // the replies to "listen", which take a refused channel out again on the main queue.
    struct Receivers {
        std::mutex mutex;
        std::map<std::string, BinaryMessenger::HandlerId> byChannel;
    };
    std::shared_ptr<Receivers> receivers_ = std::make_shared<Receivers>();
};

} // namespace platform::ui
