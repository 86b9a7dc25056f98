#include "platform/ui/EventChannel.hpp"

#include <atomic>

namespace platform::ui {

namespace {

void answer(const MethodResult& result, const std::optional<MethodError>& error) {
    if (error) {
        result.error(error->code, error->message, error->details);
    } else {
        result.success();
    }
}

} // namespace

// Touched only by the message handler, on the main queue; the sinks read their own flag from any thread.
struct EventChannel::Stream {
    std::shared_ptr<std::atomic<bool>> sinkIsLive;

    EventSink begin(BinaryMessenger& messenger, const std::string& channel) {
        end();
        sinkIsLive = std::make_shared<std::atomic<bool>>(true);
        return [&messenger, channel, live = sinkIsLive](const Value& event) {
            if (live->load()) {
                messenger.sendEvent(channel, event);
            }
        };
    }

    void end() {
        if (sinkIsLive) {
            sinkIsLive->store(false);
            sinkIsLive.reset();
        }
    }
};

EventChannel::EventChannel(std::string name, BinaryMessenger& messenger)
    : name_(std::move(name)), messenger_(messenger), stream_(std::make_shared<Stream>()) {}

EventChannel::~EventChannel() { removeHandler(); }

void EventChannel::setStreamHandler(StreamHandler* handler) {
    if (!handler) {
        removeHandler();
        return;
    }
    handlerId_ = messenger_.setMessageHandler(name_, [handler, stream = stream_, &messenger = messenger_, name = name_](
                                                         const MethodCall& call, const MethodResult& result) {
        if (call.method == "listen") {
            auto error = handler->onListen(call.arguments, stream->begin(messenger, name));
            if (error) {
                stream->end();
            }
            answer(result, error);
        } else if (call.method == "cancel") {
            stream->end();
            answer(result, handler->onCancel(call.arguments));
        } else {
            result.notImplemented();
        }
    });
}

void EventChannel::removeHandler() {
    if (handlerId_) {
        messenger_.removeMessageHandler(name_, *handlerId_);
        handlerId_.reset();
    }
}

} // namespace platform::ui
