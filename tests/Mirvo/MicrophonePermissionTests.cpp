#include "ChannelHarness.hpp"

#include "Mirvo/AudioCapturePlugin.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;

constexpr const char* methodChannelName = "test/capture";
constexpr const char* eventChannelName = "test/capture_events";

// Asks for the microphone on "start" and keeps the platform's pending answer for the test to give.
class CapturePlugin : public AudioCapturePlugin {
public:
    explicit CapturePlugin(ui::BinaryMessenger& messenger)
        : AudioCapturePlugin(messenger, methodChannelName, eventChannelName) {}

    AccessAnswer pendingAnswer;
    std::string deniedMessage = microphoneDenied;
    std::vector<bool> sessionStartsOnMainQueue;

protected:
    void handle(const ui::MethodCall& call, const ui::MethodResult& result) override {
        if (call.method != "start") {
            AudioCapturePlugin::handle(call, result);
            return;
        }
        requestMicrophoneAccess([this](AccessAnswer answer) { pendingAnswer = std::move(answer); }, result,
                                [this](const ui::MethodResult& started) {
                                    sessionStartsOnMainQueue.push_back(mainQueue().isCurrent());
                                    started.success("capturing");
                                },
                                deniedMessage);
    }
};

class MicrophonePermissionTests : public ::testing::Test {
protected:
    testing::ChannelHarness harness;
    std::shared_ptr<CapturePlugin> plugin = std::make_shared<CapturePlugin>(harness.messenger());
    std::optional<ui::MethodReply> reply;

    void SetUp() override { harness.listen(eventChannelName); }

    void start() {
        harness.messenger().send(methodChannelName, ui::MethodCall{.method = "start", .arguments = {}},
                                 [this](const ui::MethodReply& answer) { reply = answer; });
        harness.runUntilIdle();
    }

    // The platform answers on a thread of its own.
    void answerFromAnotherThread(bool granted) {
        ASSERT_TRUE(plugin->pendingAnswer);
        std::thread platformThread([answer = plugin->pendingAnswer, granted] { answer(granted); });
        platformThread.join();
    }
};

TEST_F(MicrophonePermissionTests, DeniedAccessIsToldByTheEventAndTheCallSucceedsWithoutValue) {
    start();
    EXPECT_FALSE(reply.has_value());
    answerFromAnotherThread(false);
    harness.runUntilIdle();

    EXPECT_EQ(reply, ui::MethodReply(ui::Value()));
    EXPECT_EQ(harness.events(eventChannelName),
              std::vector<ui::Value>{testing::errorEvent("permission-denied", "Microphone denied")});
    EXPECT_TRUE(plugin->sessionStartsOnMainQueue.empty());
}

TEST_F(MicrophonePermissionTests, TheDeniedMessageCanBeTheCallersOwn) {
    plugin->deniedMessage = "Microphone or speech recognition denied";
    start();
    answerFromAnotherThread(false);
    harness.runUntilIdle();

    EXPECT_EQ(harness.events(eventChannelName), std::vector<ui::Value>{testing::errorEvent(
                                                    "permission-denied", "Microphone or speech recognition denied")});
}

TEST_F(MicrophonePermissionTests, GrantedAccessStartsTheSessionOnTheMainQueueWhichAnswers) {
    start();
    answerFromAnotherThread(true);
    EXPECT_TRUE(plugin->sessionStartsOnMainQueue.empty());
    harness.runUntilIdle();

    EXPECT_EQ(plugin->sessionStartsOnMainQueue, std::vector<bool>{true});
    EXPECT_EQ(reply, ui::MethodReply(ui::Value("capturing")));
    EXPECT_TRUE(harness.events(eventChannelName).empty());
}

TEST_F(MicrophonePermissionTests, AnAnswerForAPluginThatIsGoneIsDropped) {
    start();
    const auto answer = plugin->pendingAnswer;
    plugin.reset();
    std::thread platformThread([answer] { answer(true); });
    platformThread.join();
    harness.runUntilIdle();

    EXPECT_FALSE(reply.has_value());
}

} // namespace
} // namespace mirvo
