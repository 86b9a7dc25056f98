#include "RecordingStreamHandler.hpp"
#include "ValuePrinting.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/ui/EventChannel.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using platform::core::MainQueue;
using platform::ui::BinaryMessenger;
using platform::ui::EventChannel;
using platform::ui::EventMessage;
using platform::ui::MethodCall;
using platform::ui::MethodError;
using platform::ui::MethodReply;
using platform::ui::NotImplemented;
using platform::ui::Value;
using platform::ui::ValueMap;
using Call = uitest::RecordingStreamHandler::Call;

constexpr const char* channelName = "mirvo/dictation_events";

class EventChannelTest : public testing::Test {
protected:
    EventChannelTest() { channel.setStreamHandler(&handler); }

    std::optional<MethodReply> call(const std::string& method, Value arguments = {}) {
        std::optional<MethodReply> reply;
        messenger.send(channelName, MethodCall{.method = method, .arguments = std::move(arguments)},
                       [&reply](const MethodReply& answer) { reply = answer; });
        queue.runUntilIdle();
        return reply;
    }

    // Installs a receiver that records the events it gets under `name`.
    void receiveAs(const std::string& name) {
        messenger.setEventReceiver(channelName, [this, name](const EventMessage& message) {
            received.push_back({name, std::get<Value>(message)});
        });
    }

    MainQueue queue;
    BinaryMessenger messenger{queue};
    uitest::RecordingStreamHandler handler;
    EventChannel channel{channelName, messenger};
    std::vector<std::pair<std::string, Value>> received;
};

TEST_F(EventChannelTest, ListenAndCancelReachTheHandlerAndTheSinkSendsToTheReceiver) {
    receiveAs("interface");
    EXPECT_EQ(call("listen", ValueMap{{"from", "test"}}), MethodReply(Value()));
    handler.emit(ValueMap{{"type", "level"}, {"level", 0.5}});
    queue.runUntilIdle();
    EXPECT_EQ(call("cancel", 3), MethodReply(Value()));
    handler.latestSink()(ValueMap{{"type", "level"}, {"level", 1.0}});
    queue.runUntilIdle();

    EXPECT_EQ(handler.calls(), (std::vector<Call>{{.method = "listen", .arguments = ValueMap{{"from", "test"}}},
                                                  {.method = "cancel", .arguments = 3}}));
    const std::vector<std::pair<std::string, Value>> expected = {
        {"interface", ValueMap{{"type", "level"}, {"level", 0.5}}}};
    EXPECT_EQ(received, expected);
}

TEST_F(EventChannelTest, EventsAfterASecondListenReachOnlyTheSecondListener) {
    receiveAs("first");
    call("listen");
    const auto firstSink = handler.latestSink();
    call("cancel");
    receiveAs("second");
    call("listen");

    firstSink("through the first sink");
    handler.emit("through the second sink");
    queue.runUntilIdle();
    const std::vector<std::pair<std::string, Value>> expected = {{"second", "through the second sink"}};
    EXPECT_EQ(received, expected);
}

TEST_F(EventChannelTest, ARefusedListenAnswersTheHandlersErrorAndItsSinkStaysDead) {
    receiveAs("interface");
    const MethodError refusal{.code = "permission-denied", .message = "Microphone denied", .details = {}};
    handler.refuseListening(refusal);
    EXPECT_EQ(call("listen"), MethodReply(refusal));
    handler.latestSink()("never delivered");
    queue.runUntilIdle();
    EXPECT_TRUE(received.empty());
}

TEST_F(EventChannelTest, OtherMethodsAndARemovedHandlerAreNotImplemented) {
    EXPECT_EQ(call("Listen"), MethodReply(NotImplemented{}));
    channel.setStreamHandler(nullptr);
    EXPECT_EQ(call("listen"), MethodReply(NotImplemented{}));
    EXPECT_TRUE(handler.calls().empty());
}

TEST_F(EventChannelTest, DestroyingTheChannelRemovesItsHandler) {
    {
        EventChannel other("mirvo/status_bar_events", messenger);
        other.setStreamHandler(&handler);
        EXPECT_TRUE(messenger.hasMessageHandler("mirvo/status_bar_events"));
    }
    EXPECT_FALSE(messenger.hasMessageHandler("mirvo/status_bar_events"));
}

} // namespace
