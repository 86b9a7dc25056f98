#include "ChannelHarness.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace mirvo::testing {

namespace ui = platform::ui;

std::optional<ui::MethodReply> ChannelHarness::call(const std::string& channel, const std::string& method,
                                                    ui::Value arguments) {
    std::optional<ui::MethodReply> reply;
    messenger_.send(channel, ui::MethodCall{.method = method, .arguments = std::move(arguments)},
                    [&reply](const ui::MethodReply& answer) { reply = answer; });
    mainQueue_.runUntilIdle();
    return reply;
}

std::shared_ptr<std::optional<ui::MethodReply>> ChannelHarness::send(const std::string& channel,
                                                                     const std::string& method, ui::Value arguments) {
    auto reply = std::make_shared<std::optional<ui::MethodReply>>();
    messenger_.send(channel, ui::MethodCall{.method = method, .arguments = std::move(arguments)},
                    [reply](const ui::MethodReply& answer) { *reply = answer; });
    mainQueue_.runUntilIdle();
    return reply;
}

std::optional<ui::MethodReply> ChannelHarness::callAndWait(const std::string& channel, const std::string& method,
                                                           ui::Value arguments) {
    const auto reply = send(channel, method, std::move(arguments));
    runUntil([&reply] { return reply->has_value(); });
    return *reply;
}

std::optional<ui::MethodReply> ChannelHarness::callUntilAnswered(const std::string& channel, const std::string& method,
                                                                 ui::Value arguments,
                                                                 const std::function<void()>& meanwhile) {
    std::optional<ui::MethodReply> reply;
    messenger_.send(channel, ui::MethodCall{.method = method, .arguments = std::move(arguments)},
                    [this, &reply](const ui::MethodReply& answer) {
                        reply = answer;
                        mainQueue_.stop();
                    });
    mainQueue_.runUntilIdle();
    if (meanwhile) {
        meanwhile();
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::minutes(1), [&done] { return done; })) {
            mainQueue_.stop();
        }
    });
    // Returns at once when the reply has come already.
    mainQueue_.run();
    {
        const std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
    mainQueue_.runUntilIdle();
    return reply;
}

void ChannelHarness::runUntil(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    std::function<void()> check = [&] {
        if (done() || std::chrono::steady_clock::now() > giveUp) {
            mainQueue_.stop();
        } else {
            mainQueue_.asyncAfter(std::chrono::milliseconds(1), check);
        }
    };
    mainQueue_.async(check);
    mainQueue_.run();
}

std::optional<ui::MethodReply> ChannelHarness::listen(const std::string& eventChannel) {
    messenger_.setEventReceiver(eventChannel, [this, eventChannel](const ui::EventMessage& message) {
        if (const auto* value = std::get_if<ui::Value>(&message)) {
            events_[eventChannel].push_back(*value);
        }
    });
    return call(eventChannel, "listen");
}

std::optional<ui::MethodReply> ChannelHarness::cancel(const std::string& eventChannel) {
    return call(eventChannel, "cancel");
}

std::vector<ui::Value> ChannelHarness::events(const std::string& eventChannel) const {
    const auto found = events_.find(eventChannel);
    return found == events_.end() ? std::vector<ui::Value>{} : found->second;
}

ui::MethodReply errorReply(const std::string& code, const std::string& message) {
    return ui::MethodError{.code = code, .message = message, .details = {}};
}

ui::Value errorEvent(const std::string& code, const std::string& message) {
    return ui::ValueMap{{"type", "error"}, {"code", code}, {"message", message}};
}

} // namespace mirvo::testing
