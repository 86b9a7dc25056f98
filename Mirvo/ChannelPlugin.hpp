#pragma once

#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/EventChannel.hpp"
#include "platform/ui/MethodCall.hpp"
#include "platform/ui/MethodChannel.hpp"
#include "platform/ui/MethodResult.hpp"
#include "platform/ui/Value.hpp"

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace platform::core {
class MainQueue;
}

namespace mirvo {

// The shape every native plug-in shares: one method channel for requests, at most one event channel for
// pushed events, handlers on the main queue and events delivered through the main queue.
//
// The method-call handler captures `this`; that is safe because the method channel is a member and
// removes its handler when destroyed, so no call reaches a plug-in that is gone. Events hold the plug-in
// weakly, which needs the plug-in to be owned by a std::shared_ptr (its class-wide `shared`).
class ChannelPlugin : public platform::ui::StreamHandler, public std::enable_shared_from_this<ChannelPlugin> {
public:
    ChannelPlugin(const ChannelPlugin&) = delete;
    ChannelPlugin& operator=(const ChannelPlugin&) = delete;
    ~ChannelPlugin() override = default;

    // Listen stores the sink, replacing any earlier one; cancel empties it. Arguments are ignored.
    std::optional<platform::ui::MethodError> onListen(const platform::ui::Value& arguments,
                                                      platform::ui::EventSink sink) override;
    std::optional<platform::ui::MethodError> onCancel(const platform::ui::Value& arguments) override;

    // Safe from any thread: delivery always goes through the main queue, and the sink is read at delivery,
    // so an event sent while nobody listens is dropped rather than kept for a later listener.
    void emit(platform::ui::ValueMap payload);
    void emitError(const std::string& code, const std::string& message);

    // Reports a failed operation: the error as a platform error, its code in decimal and its description,
    // both as an error event and as the call's error reply.
    void reportFailure(const platform::ui::MethodResult& result, const std::exception_ptr& failure);

protected:
    // No event channel when `eventChannelName` is empty.
    ChannelPlugin(platform::ui::BinaryMessenger& messenger, const std::string& methodChannelName,
                  const std::string& eventChannelName = {});

    // Answers a method call. Names are compared exactly; this default knows no method at all.
    virtual void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result);

    platform::core::MainQueue& mainQueue() const { return mainQueue_; }
    // Hands the event to the sink at once, when there is one. Main queue only.
    void emitNow(const platform::ui::ValueMap& payload) const;
    // Whether someone listens; readable from any thread, for diagnostics.
    bool hasEventSink() const { return hasEventSink_; }

private:
    platform::core::MainQueue& mainQueue_;
    platform::ui::EventSink eventSink_;
    std::atomic<bool> hasEventSink_ = false;
    platform::ui::MethodChannel methodChannel_;
    std::unique_ptr<platform::ui::EventChannel> eventChannel_;
};

} // namespace mirvo
