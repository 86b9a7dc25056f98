#include "ChannelHarness.hpp"

#include "Mirvo/ChannelPlugin.hpp"
#include "Mirvo/PluginError.hpp"

#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;

constexpr const char* methodChannelName = "test/echo";
constexpr const char* eventChannelName = "test/echo_events";

// Knows one method, "ping", and fails "fail" with the error it is given.
class EchoPlugin : public ChannelPlugin {
public:
    explicit EchoPlugin(ui::BinaryMessenger& messenger)
        : ChannelPlugin(messenger, methodChannelName, eventChannelName) {}

    std::exception_ptr failure;

protected:
    void handle(const ui::MethodCall& call, const ui::MethodResult& result) override {
        if (call.method == "ping") {
            result.success("pong");
        } else if (call.method == "fail") {
            reportFailure(result, failure);
        } else {
            ChannelPlugin::handle(call, result);
        }
    }
};

ui::Value numbered(int index) { return ui::ValueMap{{"type", "tick"}, {"index", index}}; }

class ChannelPluginTests : public ::testing::Test {
protected:
    testing::ChannelHarness harness;
    std::shared_ptr<EchoPlugin> plugin = std::make_shared<EchoPlugin>(harness.messenger());

    std::vector<ui::Value> events() const { return harness.events(eventChannelName); }
};

TEST_F(ChannelPluginTests, KnownMethodsAreMatchedExactlyAndOthersAreNotImplemented) {
    EXPECT_EQ(harness.call(methodChannelName, "ping"), ui::MethodReply(ui::Value("pong")));
    for (const char* method : {"Ping", "PING", "ping ", "", "pong"}) {
        EXPECT_EQ(harness.call(methodChannelName, method), ui::MethodReply(ui::NotImplemented{})) << method;
    }
}

TEST_F(ChannelPluginTests, EventsWithoutAListenerAreDroppedNotKeptForALaterOne) {
    plugin->emit({{"type", "early"}});
    ASSERT_EQ(harness.listen(eventChannelName), ui::MethodReply(ui::Value()));
    plugin->emit({{"type", "heard"}});
    harness.runUntilIdle();
    ASSERT_EQ(harness.cancel(eventChannelName), ui::MethodReply(ui::Value()));
    plugin->emit({{"type", "late"}});
    harness.runUntilIdle();
    harness.listen(eventChannelName);
    harness.runUntilIdle();

    EXPECT_EQ(events(), (std::vector<ui::Value>{ui::ValueMap{{"type", "heard"}}}));
}

TEST_F(ChannelPluginTests, TheSinkIsReadWhenTheEventIsDelivered) {
    std::vector<std::string> received;
    plugin->onListen({}, [&](const ui::Value&) { received.push_back("first"); });
    plugin->emit({{"type", "cancelled before delivery"}});
    plugin->onCancel({});
    harness.runUntilIdle();
    plugin->emit({{"type", "sink replaced before delivery"}});
    plugin->onListen({}, [&](const ui::Value&) { received.push_back("second"); });
    harness.runUntilIdle();

    EXPECT_EQ(received, std::vector<std::string>{"second"});
}

TEST_F(ChannelPluginTests, AfterListenCancelListenOnlyTheSecondSinkReceives) {
    std::vector<std::string> received;
    plugin->onListen({}, [&](const ui::Value&) { received.push_back("first"); });
    plugin->onCancel({});
    plugin->onListen({}, [&](const ui::Value&) { received.push_back("second"); });
    plugin->emit({{"type", "one"}});
    plugin->emit({{"type", "two"}});
    harness.runUntilIdle();

    EXPECT_EQ(received, (std::vector<std::string>{"second", "second"}));
}

TEST_F(ChannelPluginTests, EventsFromAnotherThreadArriveOnTheMainQueueInOrder) {
    constexpr int count = 50;
    std::vector<ui::Value> received;
    bool allOnMainQueue = true;
    plugin->onListen({}, [&](const ui::Value& event) {
        allOnMainQueue = allOnMainQueue && harness.mainQueue().isCurrent();
        received.push_back(event);
    });
    std::thread audioThread([this] {
        for (int index = 0; index < count; ++index) {
            plugin->emit({{"type", "tick"}, {"index", index}});
        }
    });
    audioThread.join();
    EXPECT_TRUE(received.empty());
    harness.runUntilIdle();

    std::vector<ui::Value> expected;
    for (int index = 0; index < count; ++index) {
        expected.push_back(numbered(index));
    }
    EXPECT_EQ(received, expected);
    EXPECT_TRUE(allOnMainQueue);
}

TEST_F(ChannelPluginTests, PendingEventsOfAPluginThatIsGoneDoNothing) {
    bool delivered = false;
    plugin->onListen({}, [&](const ui::Value&) { delivered = true; });
    plugin->emit({{"type", "orphan"}});
    plugin.reset();
    harness.runUntilIdle();

    EXPECT_FALSE(delivered);
}

TEST_F(ChannelPluginTests, EmitErrorSendsTheErrorEventShape) {
    harness.listen(eventChannelName);
    plugin->emitError("permission-denied", "Microphone denied");
    harness.runUntilIdle();

    EXPECT_EQ(events(), std::vector<ui::Value>{testing::errorEvent("permission-denied", "Microphone denied")});
}

TEST_F(ChannelPluginTests, AFailureIsBothAnErrorEventAndAnErrorReplyWithTheSameCodeAndMessage) {
    const struct {
        std::exception_ptr failure;
        std::string code;
        std::string message;
    } cases[] = {
        {std::make_exception_ptr(PluginError::notPrepared(PluginError::parakeetDomain)), "1",
         "Call prepare before start"},
        {std::make_exception_ptr(platform::core::SystemError("POSIX", 2, "No such file or directory")), "2",
         "No such file or directory"},
        {std::make_exception_ptr(std::runtime_error("engine failed")), "1", "engine failed"},
    };
    harness.listen(eventChannelName);
    std::vector<ui::Value> expectedEvents;
    for (const auto& c : cases) {
        plugin->failure = c.failure;
        EXPECT_EQ(harness.call(methodChannelName, "fail"), testing::errorReply(c.code, c.message)) << c.message;
        expectedEvents.push_back(testing::errorEvent(c.code, c.message));
    }
    harness.runUntilIdle();

    EXPECT_EQ(events(), expectedEvents);
}

} // namespace
} // namespace mirvo
