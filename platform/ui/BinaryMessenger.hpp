#pragma once

#include "platform/ui/MethodCall.hpp"
#include "platform/ui/MethodResult.hpp"
#include "platform/ui/Value.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace platform::core {
class MainQueue;
}

namespace platform::ui {

// One message an event channel pushes to its listener: an event value, an error, or the end of the stream.
struct EndOfStream {
    bool operator==(const EndOfStream&) const = default;
};
using EventMessage = std::variant<Value, MethodError, EndOfStream>;

// Routes messages between the host's channels and the interface layer, in process. Handlers and receivers
// always run on the main queue; everything else may be called from any thread. Calls, replies and events
// all travel through the main queue, so they arrive in the order they were sent; an event sent on the main
// queue itself is already there and is delivered at once.
class BinaryMessenger {
public:
    using MessageHandler = std::function<void(const MethodCall& call, const MethodResult& result)>;
    using ReplyHandler = std::function<void(const MethodReply& reply)>;
    using EventReceiver = std::function<void(const EventMessage& message)>;
    // Names one installation of a handler or receiver, so that its owner removes only its own.
    using HandlerId = std::uint64_t;

    explicit BinaryMessenger(core::MainQueue& mainQueue);
    BinaryMessenger(const BinaryMessenger&) = delete;
    BinaryMessenger& operator=(const BinaryMessenger&) = delete;

    core::MainQueue& mainQueue() const { return mainQueue_; }

    // Host side: installs the handler of a channel's incoming calls, replacing any other; an empty handler
    // removes it.
    HandlerId setMessageHandler(const std::string& channel, MessageHandler handler);
    // Removes the channel's handler only while it is still the one installed as `id`.
    void removeMessageHandler(const std::string& channel, HandlerId id);
    bool hasMessageHandler(const std::string& channel) const;

    // Interface side: sends a call to the channel's handler on the main queue. `onReply` (may be empty)
    // receives the answer on the main queue; a channel without a handler answers not-implemented.
    void send(const std::string& channel, MethodCall call, ReplyHandler onReply);

    // Host side: pushes an event of `channel` to its current receiver: at once when called on the main queue,
    // else through it. An event sent while the channel has no receiver is dropped, and so is one whose
    // receiver was replaced or removed before delivery.
    void sendEvent(const std::string& channel, const EventMessage& message);

    // Interface side: installs the receiver of a channel's events, replacing any other; an empty receiver
    // removes it.
    HandlerId setEventReceiver(const std::string& channel, EventReceiver receiver);
    // Removes the channel's receiver only while it is still the one installed as `id`; tells whether it was.
    bool removeEventReceiver(const std::string& channel, HandlerId id);

private:
    // Shared with the jobs on the main queue, which may outlive the messenger.
    struct Routes;

    core::MainQueue& mainQueue_;
    std::shared_ptr<Routes> routes_;
};

} // namespace platform::ui
