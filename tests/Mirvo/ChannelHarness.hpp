#pragma once

#include "platform/core/MainQueue.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodResult.hpp"
#include "platform/ui/Value.hpp"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo::testing {

// Plays the interface layer against the host's channels: sends calls, listens to event channels and
// records what comes back. The test thread drives the main queue.
class ChannelHarness {
public:
    ChannelHarness() = default;
    // A main queue whose timers follow `clock` (a VirtualClock for timed behaviour).
    explicit ChannelHarness(platform::core::Clock& clock) : mainQueue_(clock) {}
    ChannelHarness(const ChannelHarness&) = delete;
    ChannelHarness& operator=(const ChannelHarness&) = delete;

    platform::core::MainQueue& mainQueue() { return mainQueue_; }
    platform::ui::BinaryMessenger& messenger() { return messenger_; }

    // Sends the call and runs the main queue until idle; nothing when no reply was given.
    std::optional<platform::ui::MethodReply> call(const std::string& channel, const std::string& method,
                                                  platform::ui::Value arguments = {});

    // Sends the call without waiting for its reply, which lands in the returned slot once the main queue runs.
    std::shared_ptr<std::optional<platform::ui::MethodReply>>
    send(const std::string& channel, const std::string& method, platform::ui::Value arguments = {});
    // Sends the call and drives the main queue until it is answered (or runUntil gives up).
    std::optional<platform::ui::MethodReply> callAndWait(const std::string& channel, const std::string& method,
                                                         platform::ui::Value arguments = {});
    // Sends the call and drives the main queue until it is answered, or a minute has passed, without polling, so
    // that it works on a virtual clock too. `meanwhile` runs once the call has been handled.
    std::optional<platform::ui::MethodReply> callUntilAnswered(const std::string& channel, const std::string& method,
                                                               platform::ui::Value arguments = {},
                                                               const std::function<void()>& meanwhile = {});
    // Drives the main queue until `done` holds, or a minute has passed, so that a broken plug-in fails its
    // test instead of hanging it.
    void runUntil(const std::function<bool()>& done);

    // Starts recording the channel's events and sends "listen"; the reply to it.
    std::optional<platform::ui::MethodReply> listen(const std::string& eventChannel);
    std::optional<platform::ui::MethodReply> cancel(const std::string& eventChannel);

    // Event values received so far on the channel.
    std::vector<platform::ui::Value> events(const std::string& eventChannel) const;

    void runUntilIdle() { mainQueue_.runUntilIdle(); }

private:
    platform::core::MainQueue mainQueue_;
    platform::ui::BinaryMessenger messenger_{mainQueue_};
    std::map<std::string, std::vector<platform::ui::Value>> events_;
};

// An error reply as the host gives them: code, message and no details.
platform::ui::MethodReply errorReply(const std::string& code, const std::string& message);

// The error event map {"type": "error", "code": code, "message": message}.
platform::ui::Value errorEvent(const std::string& code, const std::string& message);

} // namespace mirvo::testing
