#include "ValuePrinting.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodChannel.hpp"

#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <optional>
#include <thread>
#include <vector>

namespace {

using platform::core::MainQueue;
using platform::ui::BinaryMessenger;
using platform::ui::EndOfStream;
using platform::ui::EventMessage;
using platform::ui::MethodCall;
using platform::ui::MethodChannel;
using platform::ui::MethodError;
using platform::ui::MethodReply;
using platform::ui::MethodResult;
using platform::ui::NotImplemented;
using platform::ui::Value;
using platform::ui::ValueMap;

class BinaryMessengerTest : public testing::Test {
protected:
    // Sends the call, runs the main queue and returns the reply.
    std::optional<MethodReply> call(const std::string& channel, const std::string& method, Value arguments = {}) {
        std::optional<MethodReply> reply;
        messenger.send(channel, MethodCall{.method = method, .arguments = std::move(arguments)},
                       [&reply](const MethodReply& answer) { reply = answer; });
        queue.runUntilIdle();
        return reply;
    }

    MainQueue queue;
    BinaryMessenger messenger{queue};
};

TEST_F(BinaryMessengerTest, CallsReachTheirChannelsHandlerOnTheMainQueue) {
    bool ranOnMainQueue = false;
    messenger.setMessageHandler("mirvo/insert_text", [&](const MethodCall& call, const MethodResult& result) {
        ranOnMainQueue = queue.isCurrent();
        result.success(ValueMap{{"method", call.method}, {"arguments", call.arguments}});
    });
    messenger.setMessageHandler("mirvo/hotkey", [](const MethodCall&, const MethodResult& result) {
        result.error("bad_args", "key is required");
    });

    EXPECT_EQ(call("mirvo/insert_text", "insert", ValueMap{{"text", "hi"}}),
              MethodReply(Value(ValueMap{{"method", "insert"}, {"arguments", ValueMap{{"text", "hi"}}}})));
    EXPECT_TRUE(ranOnMainQueue);
    EXPECT_EQ(call("mirvo/hotkey", "setBinding"),
              MethodReply(MethodError{.code = "bad_args", .message = "key is required", .details = {}}));
}

TEST_F(BinaryMessengerTest, AChannelWithoutHandlerAnswersNotImplemented) {
    EXPECT_EQ(call("mirvo/nothing", "start"), MethodReply(NotImplemented{}));

    const auto id = messenger.setMessageHandler(
        "mirvo/hotkey", [](const MethodCall&, const MethodResult& result) { result.success(); });
    EXPECT_TRUE(messenger.hasMessageHandler("mirvo/hotkey"));
    messenger.removeMessageHandler("mirvo/hotkey", id);
    EXPECT_FALSE(messenger.hasMessageHandler("mirvo/hotkey"));
    EXPECT_EQ(call("mirvo/hotkey", "start"), MethodReply(NotImplemented{}));
}

TEST_F(BinaryMessengerTest, ADestroyedChannelRemovesOnlyTheHandlerItInstalled) {
    auto older = std::make_unique<MethodChannel>("mirvo/parakeet", messenger);
    older->setMethodCallHandler([](const MethodCall&, const MethodResult& result) { result.success("older"); });
    {
        MethodChannel scoped("mirvo/paraformer", messenger);
        scoped.setMethodCallHandler([](const MethodCall&, const MethodResult& result) { result.success(); });
    }
    EXPECT_EQ(call("mirvo/paraformer", "start"), MethodReply(NotImplemented{}));

    // A plug-in registered again: the new instance installs its handler before the old one goes away.
    MethodChannel newer("mirvo/parakeet", messenger);
    newer.setMethodCallHandler([](const MethodCall&, const MethodResult& result) { result.success("newer"); });
    older.reset();
    EXPECT_EQ(call("mirvo/parakeet", "start"), MethodReply(Value("newer")));

    newer.setMethodCallHandler({});
    EXPECT_EQ(call("mirvo/parakeet", "start"), MethodReply(NotImplemented{}));
}

TEST_F(BinaryMessengerTest, EventsFromOtherThreadsArriveInTheOrderEachThreadSentThem) {
    std::map<std::string, std::vector<std::int64_t>> received;
    bool allOnMainQueue = true;
    messenger.setEventReceiver("mirvo/parakeet_events", [&](const EventMessage& message) {
        allOnMainQueue = allOnMainQueue && queue.isCurrent();
        const auto& event = *std::get<Value>(message).get<ValueMap>();
        received[*event.at("type").get<std::string>()].push_back(*event.at("index").get<std::int64_t>());
    });
    std::vector<std::thread> senders;
    for (const std::string type : {"level", "partial"}) {
        senders.emplace_back([this, type] {
            for (std::int64_t index = 0; index < 200; ++index) {
                messenger.sendEvent("mirvo/parakeet_events", Value(ValueMap{{"type", type}, {"index", index}}));
            }
        });
    }
    for (auto& sender : senders) {
        sender.join();
    }
    queue.runUntilIdle();

    std::vector<std::int64_t> expected(200);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(received["level"], expected);
    EXPECT_EQ(received["partial"], expected);
    EXPECT_TRUE(allOnMainQueue);
}

TEST_F(BinaryMessengerTest, EventsWithoutTheirReceiverAreDroppedAndNeverReachALaterOne) {
    std::vector<std::string> received;
    const auto receiverFor = [&received](std::string name) {
        return [&received, name](const EventMessage&) { received.push_back(name); };
    };
    messenger.sendEvent("mirvo/hotkey_events", Value("before anyone listens"));
    messenger.setEventReceiver("mirvo/hotkey_events", receiverFor("first"));
    queue.runUntilIdle();
    EXPECT_TRUE(received.empty());

    messenger.sendEvent("mirvo/hotkey_events", EndOfStream{});
    messenger.setEventReceiver("mirvo/hotkey_events", receiverFor("second"));
    messenger.sendEvent("mirvo/hotkey_events", MethodError{.code = "1", .message = "failed", .details = {}});
    queue.runUntilIdle();
    EXPECT_EQ(received, std::vector<std::string>{"second"});
}

TEST_F(BinaryMessengerTest, AReceiverIsRemovedOnlyByItsOwnId) {
    const auto first = messenger.setEventReceiver("mirvo/status_bar_events", [](const EventMessage&) {});
    const auto second = messenger.setEventReceiver("mirvo/status_bar_events", [](const EventMessage&) {});
    EXPECT_FALSE(messenger.removeEventReceiver("mirvo/status_bar_events", first));
    EXPECT_TRUE(messenger.removeEventReceiver("mirvo/status_bar_events", second));
    EXPECT_FALSE(messenger.removeEventReceiver("mirvo/status_bar_events", second));
}

} // namespace
