#include "ChannelHarness.hpp"
#include "ScriptedInputDevice.hpp"

#include "Mirvo/DictationPlugin.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/CommonFormat.hpp"
#include "platform/audio/MicrophoneAccess.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/Clock.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/speech/ScriptedSpeechService.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;
namespace speech = platform::speech;
using platform::audio::AuthorizationStatus;
using platform::audio::PCMBuffer;
using platform::core::SystemError;
using speech::SpeechAuthorizationStatus;
using speech::SpeechRecognitionResult;
using testing::errorEvent;
using testing::errorReply;
using namespace std::chrono_literals;

constexpr const char* channel = "mirvo/dictation";
constexpr const char* eventChannel = "mirvo/dictation_events";
constexpr std::uint32_t bufferFrames = 1024;

const ui::MethodReply noValue = ui::Value();

ui::MethodReply textReply(const std::string& text) { return ui::Value(text); }

ui::Value prepareArguments(const std::string& locale) { return ui::ValueMap{{"locale", locale}}; }

SpeechRecognitionResult partial(const std::string& text) { return {.formattedString = text, .isFinal = false}; }

SpeechRecognitionResult final(const std::string& text) { return {.formattedString = text, .isFinal = true}; }

platform::audio::AudioFormat monoFloat(double rate) {
    return *platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, rate, 1, false);
}

// Full buffers of a 440 Hz tone at `rate`, continuing from buffer to buffer.
std::vector<std::shared_ptr<PCMBuffer>> toneBuffers(double rate, int count) {
    std::vector<std::shared_ptr<PCMBuffer>> buffers;
    for (int index = 0; index < count; ++index) {
        auto buffer = PCMBuffer::make(monoFloat(rate), bufferFrames);
        buffer->setFrameLength(bufferFrames);
        for (std::uint32_t frame = 0; frame < bufferFrames; ++frame) {
            const double time = (double(index) * bufferFrames + frame) / rate;
            buffer->floatChannelData()[0][frame] = static_cast<float>(0.25 * std::sin(2 * M_PI * 440 * time));
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

class DictationPluginTests : public ::testing::Test {
protected:
    DictationPluginTests() { harness.listen(eventChannel); }

    ~DictationPluginTests() override { plugin.reset(); }

    DictationPlugin::Services services() {
        return DictationPlugin::Services{
            .speechRecognition =
                [this](platform::core::MainQueue& mainQueue) {
                    speechService = std::make_shared<speech::ScriptedSpeechService>(mainQueue, speechConfig);
                    return speechService;
                },
            .microphoneAccess = &access,
            .inputDevice = [this] { return device; },
        };
    }

    void replacePlugin() {
        plugin.reset();
        plugin = std::make_shared<DictationPlugin>(harness.messenger(), services());
        harness.listen(eventChannel);
    }

    std::optional<ui::MethodReply> call(const std::string& method, ui::Value arguments = {}) {
        return harness.call(channel, method, std::move(arguments));
    }

    // For calls answered after the microphone's answer, which comes from another thread.
    std::optional<ui::MethodReply> callAcrossThreads(const std::string& method,
                                                     const std::function<void()>& meanwhile = {}) {
        return harness.callUntilAnswered(channel, method, {}, meanwhile);
    }

    void startRecognising() {
        ASSERT_EQ(call("prepare", prepareArguments("en-US")), noValue);
        ASSERT_EQ(callAcrossThreads("start"), noValue);
        ASSERT_EQ(speechService->tasks().size(), 1U);
    }

    std::shared_ptr<speech::ScriptedRecognitionTask> task(std::size_t index) const {
        return speechService->tasks().at(index);
    }

    void advance(std::chrono::milliseconds duration) {
        clock.advance(duration);
        harness.runUntilIdle();
    }

    void capture(std::vector<std::shared_ptr<PCMBuffer>> buffers) {
        device->hand(std::move(buffers));
        device->waitUntilDelivered();
        harness.runUntilIdle();
    }

    std::vector<ui::Value> eventsOfType(const std::string& type) const {
        std::vector<ui::Value> found;
        for (const auto& event : harness.events(eventChannel)) {
            if (*event.get<ui::ValueMap>()->at("type").get<std::string>() == type) {
                found.push_back(event);
            }
        }
        return found;
    }

    std::vector<ui::Value> textEvents() const {
        std::vector<ui::Value> found;
        for (const auto& event : harness.events(eventChannel)) {
            const auto type = *event.get<ui::ValueMap>()->at("type").get<std::string>();
            if (type == "partial" || type == "final" || type == "error") {
                found.push_back(event);
            }
        }
        return found;
    }

    // The sample counts of the "audio" events, in order.
    std::vector<std::size_t> audioBlockSizes() const {
        std::vector<std::size_t> sizes;
        for (const auto& event : eventsOfType("audio")) {
            sizes.push_back(event.get<ui::ValueMap>()->at("bytes").get<ui::Bytes>()->data.size() / sizeof(float));
        }
        return sizes;
    }

    bool logged(const std::string& line) const {
        const auto all = log.messages();
        return std::ranges::find(all, line) != all.end();
    }

    testsupport::RecordingLogSink log;
    platform::core::VirtualClock clock;
    testing::ChannelHarness harness{clock};
    platform::audio::MicrophoneAccess access;
    speech::ScriptedSpeechService::Config speechConfig{
        .locales = {{.identifier = "fr-FR"},
                    {.identifier = "de-DE", .supportsOnDeviceRecognition = false},
                    {.identifier = "en-US"}}};
    std::shared_ptr<speech::ScriptedSpeechService> speechService;
    std::shared_ptr<testing::ScriptedInputDevice> device =
        std::make_shared<testing::ScriptedInputDevice>(monoFloat(48000));
    std::shared_ptr<DictationPlugin> plugin = std::make_shared<DictationPlugin>(harness.messenger(), services());
};

ui::Value partialEvent(const std::string& text) { return ui::ValueMap{{"type", "partial"}, {"text", text}}; }

ui::Value finalEvent(const std::string& text) { return ui::ValueMap{{"type", "final"}, {"text", text}}; }

TEST_F(DictationPluginTests, LocalesAreSortedAndTellOnDeviceSupport) {
    const ui::Value locales = ui::ValueList{ui::Value("de-DE:false"), ui::Value("en-US:true"), ui::Value("fr-FR:true")};
    EXPECT_EQ(call("getSupportedLocales"), ui::MethodReply(locales));
    EXPECT_EQ(call("Stop"), ui::MethodReply(ui::NotImplemented{}));
}

TEST_F(DictationPluginTests, PrepareRefusesAMissingOrMalformedLocale) {
    const std::vector<ui::Value> arguments{ui::Value(), ui::ValueList{ui::Value("en-US")}, ui::ValueMap{{"locale", 7}},
                                           ui::ValueMap{{"locale", ""}}};
    for (const auto& argument : arguments) {
        EXPECT_EQ(call("prepare", argument), errorReply("bad_args", "locale is required"));
    }
}

TEST_F(DictationPluginTests, AnUnsupportedLocaleLeavesNoRecogniserSoStartFails) {
    ASSERT_EQ(call("prepare", prepareArguments("en-US")), noValue);
    EXPECT_EQ(call("prepare", prepareArguments("xx-XX")),
              errorReply("unsupported-locale", "No SFSpeechRecognizer for xx-XX"));
    EXPECT_EQ(callAcrossThreads("start"), errorReply("1", "Call prepare before start"));
    EXPECT_EQ(textEvents(), std::vector<ui::Value>{errorEvent("1", "Call prepare before start")});
    EXPECT_FALSE(device->isRunning());
}

TEST_F(DictationPluginTests, RequestsAreOnDeviceWithPartialResultsAndThePreparedPhrases) {
    const struct {
        ui::Value phrases;
        std::vector<std::string> contextualStrings;
    } cases[] = {
        {ui::ValueList{ui::Value("Mirvo"), ui::Value("Quorl")}, {"Mirvo", "Quorl"}},
        {ui::Value("Mirvo"), {}},
    };
    for (const auto& example : cases) {
        ASSERT_EQ(call("prepare", ui::ValueMap{{"locale", "en-US"}, {"contextualPhrases", example.phrases}}), noValue);
        ASSERT_EQ(callAcrossThreads("start"), noValue);
        const auto& options = speechService->tasks().back()->request()->options();
        EXPECT_TRUE(options.shouldReportPartialResults);
        EXPECT_TRUE(options.requiresOnDeviceRecognition);
        EXPECT_EQ(options.contextualStrings, example.contextualStrings);
    }
}

TEST_F(DictationPluginTests, StartNeedsBothPermissionsAndAsksForBoth) {
    const struct {
        SpeechAuthorizationStatus speech;
        bool microphone;
    } cases[] = {
        {SpeechAuthorizationStatus::denied, true},
        {SpeechAuthorizationStatus::restricted, true},
        {SpeechAuthorizationStatus::authorized, false},
    };
    for (const auto& example : cases) {
        speechConfig.authorization = example.speech;
        access.setAuthorizationStatus(AuthorizationStatus::notDetermined);
        replacePlugin();
        ASSERT_EQ(call("prepare", prepareArguments("en-US")), noValue);
        const auto reply = callAcrossThreads("start", [&] {
            // The microphone is asked whatever the speech answer was.
            EXPECT_EQ(access.pendingRequests(), 1U);
            access.answer(example.microphone);
        });
        EXPECT_EQ(reply, noValue);
        EXPECT_EQ(speechService->authorizationRequests(), 1);
        EXPECT_TRUE(speechService->tasks().empty());
        EXPECT_EQ(harness.events(eventChannel).back(),
                  errorEvent("permission-denied", "Microphone or speech recognition denied"));
    }
}

TEST_F(DictationPluginTests, AFinalResultWithoutAStopStartsTheNextUtterance) {
    startRecognising();
    task(0)->deliver(partial("go"));
    task(0)->deliver(final("go forward"));
    harness.runUntilIdle();
    ASSERT_EQ(speechService->tasks().size(), 2U);
    EXPECT_NE(task(1)->request(), task(0)->request());
    task(1)->deliver(partial("ten"));
    harness.runUntilIdle();
    EXPECT_EQ(textEvents(),
              (std::vector<ui::Value>{partialEvent("go"), finalEvent("go forward"), partialEvent("ten")}));
    EXPECT_TRUE(device->isRunning());
}

TEST_F(DictationPluginTests, StopRepliesWithTheFinalResultAsSoonAsItComes) {
    startRecognising();
    task(0)->deliver(partial("go"));
    const auto reply = harness.send(channel, "stop");
    EXPECT_FALSE(reply->has_value());
    EXPECT_FALSE(device->isRunning());
    task(0)->deliver(final("go forward"));
    harness.runUntilIdle();
    EXPECT_EQ(*reply, textReply("go forward"));
    EXPECT_EQ(textEvents(), std::vector<ui::Value>{partialEvent("go")});
    EXPECT_EQ(speechService->tasks().size(), 1U);
}

TEST_F(DictationPluginTests, BuffersCapturedBeforeTheDeviceStartReturnsReachTheRequest) {
    device->hand(toneBuffers(48000, 3));
    device->deliverHandedBuffersWithinNextStart();
    startRecognising();
    const auto& request = task(0)->request();
    request->endAudio();
    int buffers = 0;
    while (request->nextBuffer()) {
        ++buffers;
    }
    EXPECT_EQ(buffers, 3);
}

TEST_F(DictationPluginTests, WithoutAFinalResultStopRepliesWithTheLastPartialAfterThreeSeconds) {
    const struct {
        std::vector<std::string> partials;
        std::string reply;
    } cases[] = {{{"go", "go forward"}, "go forward"}, {{}, ""}};
    for (const auto& example : cases) {
        startRecognising();
        for (const auto& text : example.partials) {
            task(0)->deliver(partial(text));
        }
        const auto reply = harness.send(channel, "stop");
        advance(2999ms);
        EXPECT_FALSE(reply->has_value());
        advance(1ms);
        EXPECT_EQ(*reply, textReply(example.reply));
        EXPECT_TRUE(task(0)->isCancelled());
        replacePlugin();
    }
}

TEST_F(DictationPluginTests, ARecognitionErrorEndsTheSessionOrAnswersTheWaitingStop) {
    startRecognising();
    task(0)->fail(SystemError("kAFAssistantErrorDomain", 1110, "No speech detected"));
    harness.runUntilIdle();
    EXPECT_EQ(textEvents(), std::vector<ui::Value>{errorEvent("1110", "No speech detected")});
    EXPECT_TRUE(task(0)->isCancelled());
    EXPECT_FALSE(device->isRunning());
    EXPECT_EQ(speechService->tasks().size(), 1U);

    ASSERT_EQ(callAcrossThreads("start"), noValue);
    task(1)->deliver(partial("go"));
    const auto reply = harness.send(channel, "stop");
    task(1)->fail(SystemError("kAFAssistantErrorDomain", 1110, "No speech detected"));
    harness.runUntilIdle();
    EXPECT_EQ(*reply, textReply("go"));
    EXPECT_EQ(textEvents().size(), 2U);
}

TEST_F(DictationPluginTests, StopWithoutRecognitionRepliesAtOnce) {
    EXPECT_EQ(call("stop"), textReply(""));
    ASSERT_EQ(callAcrossThreads("startAudioOnly"), noValue);
    EXPECT_EQ(call("stop"), textReply(""));
    EXPECT_FALSE(device->isRunning());
}

TEST_F(DictationPluginTests, ASecondStopAnswersTheFirstWithTheTextSoFar) {
    startRecognising();
    task(0)->deliver(partial("go"));
    const auto first = harness.send(channel, "stop");
    const auto second = harness.send(channel, "stop");
    EXPECT_EQ(*first, textReply("go"));
    EXPECT_FALSE(second->has_value());
    task(0)->deliver(final("go forward"));
    harness.runUntilIdle();
    EXPECT_EQ(*second, textReply("go forward"));
}

TEST_F(DictationPluginTests, TheTimeOutOfAnEarlierStopLeavesALaterStopWaiting) {
    startRecognising();
    const auto first = harness.send(channel, "stop");
    advance(1000ms);
    task(0)->deliver(final("go"));
    harness.runUntilIdle();
    ASSERT_EQ(*first, textReply("go"));

    ASSERT_EQ(callAcrossThreads("start"), noValue);
    advance(1500ms);
    task(1)->deliver(partial("ten"));
    const auto second = harness.send(channel, "stop");
    // The first stop's three seconds are up now.
    advance(500ms);
    EXPECT_FALSE(second->has_value());
    advance(2500ms);
    EXPECT_EQ(*second, textReply("ten"));
}

TEST_F(DictationPluginTests, AFailingEngineIsReportedWithItsCode) {
    device->failNextStart(SystemError("com.apple.coreaudio.avfaudio", -10868, "The device is unavailable"));
    ASSERT_EQ(call("prepare", prepareArguments("en-US")), noValue);
    EXPECT_EQ(callAcrossThreads("start"), errorReply("-10868", "The device is unavailable"));
    EXPECT_EQ(textEvents(), std::vector<ui::Value>{errorEvent("-10868", "The device is unavailable")});
    EXPECT_TRUE(speechService->tasks().empty());
}

TEST_F(DictationPluginTests, AudioOnlyCaptureSendsSixteenKilohertzBlocks) {
    access.setAuthorizationStatus(AuthorizationStatus::denied);
    EXPECT_EQ(callAcrossThreads("startAudioOnly"), noValue);
    EXPECT_EQ(harness.events(eventChannel),
              std::vector<ui::Value>{errorEvent("permission-denied", "Microphone denied")});

    access.setAuthorizationStatus(AuthorizationStatus::authorized);
    ASSERT_EQ(callAcrossThreads("startAudioOnly"), noValue);
    EXPECT_TRUE(logged("Mirvo: audioOnly capture started, input=48000.0Hz ch=1"));
    const int buffers = 48;
    capture(toneBuffers(48000, buffers));
    EXPECT_TRUE(logged("Mirvo: audio tap ALIVE frames=1024 sink=true"));
    EXPECT_EQ(eventsOfType("level").size(), 1U);

    // The resampler works in blocks of its own, so a block comes every few buffers; one converter for the whole
    // capture keeps every sample but the filter's delay, where a converter per buffer would lose it each time.
    std::size_t total = 0;
    for (const auto size : audioBlockSizes()) {
        EXPECT_GT(size, 0U);
        total += size;
    }
    const std::size_t expected = std::size_t{buffers} * bufferFrames / 3;
    EXPECT_LE(total, expected);
    EXPECT_GE(total, expected - 1100);
}

TEST_F(DictationPluginTests, ABufferWhoseRateCannotBeConvertedIsDroppedWithALogLine) {
    device = std::make_shared<testing::ScriptedInputDevice>(monoFloat(0.001));
    replacePlugin();
    ASSERT_EQ(callAcrossThreads("startAudioOnly"), noValue);
    capture(toneBuffers(0.001, 2));
    EXPECT_TRUE(audioBlockSizes().empty());
    EXPECT_TRUE(logged("Mirvo: audioOnly buffer dropped, input rate 0.001Hz cannot be converted"));
}

TEST_F(DictationPluginTests, StartingOneModeEndsTheOther) {
    ASSERT_EQ(call("prepare", prepareArguments("en-US")), noValue);
    ASSERT_EQ(callAcrossThreads("startAudioOnly"), noValue);
    capture(toneBuffers(48000, 16));
    ASSERT_EQ(callAcrossThreads("start"), noValue);
    const auto audioBlocks = audioBlockSizes().size();
    ASSERT_GT(audioBlocks, 0U);
    capture(toneBuffers(48000, 16));
    EXPECT_EQ(audioBlockSizes().size(), audioBlocks);
    ASSERT_EQ(speechService->tasks().size(), 1U);

    ASSERT_EQ(callAcrossThreads("startAudioOnly"), noValue);
    EXPECT_TRUE(task(0)->isCancelled());
    capture(toneBuffers(48000, 16));
    EXPECT_GT(audioBlockSizes().size(), audioBlocks);
}

} // namespace
} // namespace mirvo
