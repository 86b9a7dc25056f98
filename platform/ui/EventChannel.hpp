#pragma once

#include "platform/ui/BinaryMessenger.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform::ui {

// Pushes one event to the channel's receiver; callable from any thread. A sink lives from the "listen" that
// made it until the next "cancel" or "listen" of its channel; after that it drops what it is given.
using EventSink = std::function<void(const Value& event)>;

// Owner of an event stream: told when the interface layer starts and stops listening.
class StreamHandler {
public:
    virtual ~StreamHandler() = default;
    virtual std::optional<MethodError> onListen(const Value& arguments, EventSink sink) = 0;
    virtual std::optional<MethodError> onCancel(const Value& arguments) = 0;
};

// A named channel of events to the interface layer. The interface layer listens and cancels with the
// method calls "listen" and "cancel" on the channel's name; the handler's answer becomes their reply, and
// any other method is not implemented. Destroying the channel removes its handler (only while it is still
// the one this channel installed). Sinks send through the messenger, which must outlive them.
class EventChannel {
public:
    EventChannel(std::string name, BinaryMessenger& messenger);
    ~EventChannel();
    EventChannel(const EventChannel&) = delete;
    EventChannel& operator=(const EventChannel&) = delete;

    const std::string& name() const { return name_; }

    // The handler is not owned; null removes it. It must outlive the channel or be removed first.
    void setStreamHandler(StreamHandler* handler);

private:
    // The current listener's sink, shared with the installed message handler.
    struct Stream;

    void removeHandler();

    std::string name_;
    BinaryMessenger& messenger_;
    std::shared_ptr<Stream> stream_;
    std::optional<BinaryMessenger::HandlerId> handlerId_;
};

} // namespace platform::ui
