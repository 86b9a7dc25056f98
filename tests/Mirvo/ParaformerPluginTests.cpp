#include "ChannelHarness.hpp"
#include "ScriptedInputDevice.hpp"

#include "Mirvo/ParaformerPlugin.hpp"
#include "Mirvo/TaiwanConverter.hpp"

#include "QuorlAudio/asr/other/ParaformerManager.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/CommonFormat.hpp"
#include "platform/audio/MicrophoneAccess.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/SystemError.hpp"
#include "tests/QuorlAudio/asr/batch/AsrManagerTestModels.hpp"
#include "tests/QuorlAudio/asr/other/ParaformerTestModels.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;
using platform::audio::AuthorizationStatus;
using platform::audio::PCMBuffer;
using platform::core::SystemError;
using testing::errorEvent;
using testing::errorReply;

constexpr const char* channel = "mirvo/paraformer";
constexpr const char* eventChannel = "mirvo/paraformer_events";
constexpr std::size_t second = 16000;
constexpr std::size_t chunk = 30 * second;
constexpr std::size_t bufferFrames = 1024;

// The words of the scripted recogniser, in Simplified Chinese and in Taiwan's forms.
constexpr int mouse = 3, software = 4, network = 5, information = 6;
const std::string mouseText = "\u9f20\u6807", mouseTaiwan = "\u6ed1\u9f20";
const std::string softwareText = "\u8f6f\u4ef6", softwareTaiwan = "\u8edf\u9ad4";
const std::string networkTaiwan = "\u7db2\u8def";
const std::string informationText = "\u4fe1\u606f", informationTaiwan = "\u8cc7\u8a0a";

const ui::MethodReply noValue = ui::Value();

ui::MethodReply textReply(const std::string& text) { return ui::Value(text); }

ui::Value partialEvent(const std::string& text) { return ui::ValueMap{{"type", "partial"}, {"text", text}}; }

ui::Value prepareArguments(const std::string& locale) { return ui::ValueMap{{"locale", locale}}; }

platform::audio::AudioFormat captureFormat() {
    return *platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 16000, 1, false);
}

// Capture-format buffers whose sample at stream position i holds i + 1, so what the recogniser was given tells
// exactly which samples arrived, and in which order: buffers of 1024 frames from `first` up to `end`, the last
// one shorter when the span asks for it.
std::vector<std::shared_ptr<PCMBuffer>> streamBuffers(std::size_t first, std::size_t end) {
    std::vector<std::shared_ptr<PCMBuffer>> buffers;
    for (std::size_t start = first; start < end; start += bufferFrames) {
        const auto frames = static_cast<std::uint32_t>(std::min(bufferFrames, end - start));
        auto buffer = PCMBuffer::make(captureFormat(), frames);
        buffer->setFrameLength(frames);
        for (std::uint32_t frame = 0; frame < frames; ++frame) {
            buffer->floatChannelData()[0][frame] = static_cast<float>(start + frame + 1);
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

// A stretch of the stream as the recogniser received it in one call.
struct Heard {
    std::size_t first;
    std::size_t count;
    bool operator==(const Heard&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Heard& heard) {
    return out << "[" << heard.first << ", +" << heard.count << ")";
}

// The stream position of a waveform sample the recogniser was given (scaled by 32768).
std::size_t positionOf(float scaledSample) {
    return static_cast<std::size_t>(std::lround(scaledSample / 32768.0f)) - 1;
}

// Once armed, holds the next transcription that reaches the decoder until released.
class Hold {
public:
    void arm() {
        std::lock_guard lock(mutex_);
        armed_ = true;
    }
    void operator()() {
        std::unique_lock lock(mutex_);
        if (!armed_) {
            return;
        }
        armed_ = false;
        held_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return released_; });
    }
    void waitUntilHeld() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::minutes(1), [this] { return held_; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool held_ = false;
    bool released_ = false;
};

class ParaformerPluginTests : public ::testing::Test {
protected:
    ParaformerPluginTests() {
        // The word of a transcription is told by where in the stream its audio starts.
        models.transcript = [](std::span<const float> waveform) {
            const std::map<std::size_t, int> words{{0, mouse}, {chunk, software}, {2 * chunk, network}};
            const auto found = words.find(positionOf(waveform.front()));
            return std::vector<int>{found == words.end() ? information : found->second};
        };
        models.beforeDecoding = [this] { hold(); };
        harness.listen(eventChannel);
    }

    ~ParaformerPluginTests() override {
        hold.release();
        plugin.reset();
        // Work the plug-in left on the shared pool ends before what it may touch goes.
        quorl::finishSharedPoolJobs();
    }

    ParaformerPlugin::Services services() {
        return ParaformerPlugin::Services{
            .loadManager =
                [this](const quorl::ProgressHandler& progress) {
                    ++preparations;
                    return loader(progress);
                },
            .microphoneAccess = &access,
            .inputDevice = [this] { return device; },
            .taiwanConverter = [this] { return converter(); },
            .flushWaitLimit = flushWaitLimit,
        };
    }

    // A new plug-in with the fixture's services as they are now.
    void replacePlugin() {
        plugin.reset();
        plugin = std::make_shared<ParaformerPlugin>(harness.messenger(), services());
        harness.listen(eventChannel);
    }

    std::optional<ui::MethodReply> call(const std::string& method, ui::Value arguments = {}) {
        return harness.callAndWait(channel, method, std::move(arguments));
    }

    void startListening(const std::string& locale = "zh-TW") {
        ASSERT_EQ(call("prepare", prepareArguments(locale)), noValue);
        ASSERT_EQ(call("start"), noValue);
    }

    // Has the device deliver the stream from `first` up to `end` and waits until the tap has handed each
    // buffer on.
    void capture(std::size_t first, std::size_t end) {
        device->hand(streamBuffers(first, end));
        device->waitUntilDelivered();
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

    void waitForPartials(std::size_t count) {
        harness.runUntil([this, count] { return eventsOfType("partial").size() >= count; });
    }

    bool logged(const std::string& line) const {
        const auto all = log.messages();
        return std::ranges::find(all, line) != all.end();
    }

    // The stretches of the stream each transcription received, in order; each must be one unbroken run.
    std::vector<Heard> heard() const {
        std::vector<Heard> stretches;
        for (const auto& transcription : models.preprocessor.calls()) {
            const auto waveform = transcription.inputs.at("waveform").multiArrayValue();
            const std::span<const float> samples(waveform->data<float>(), waveform->count());
            const std::size_t first = positionOf(samples.front());
            for (std::size_t index = 0; index < samples.size(); ++index) {
                EXPECT_EQ(positionOf(samples[index]), first + index) << "a stretch from " << first << " is broken";
            }
            stretches.push_back({.first = first, .count = samples.size()});
        }
        return stretches;
    }

    testsupport::RecordingLogSink log;
    quorl::ParaformerTestModels models{
        {{mouse, mouseText}, {software, softwareText}, {network, "\u7f51\u7edc"}, {information, informationText}}};
    Hold hold;
    platform::audio::MicrophoneAccess access;
    std::shared_ptr<testing::ScriptedInputDevice> device =
        std::make_shared<testing::ScriptedInputDevice>(captureFormat());
    std::atomic<int> preparations = 0;
    ParaformerPlugin::ManagerLoader loader = [this](const quorl::ProgressHandler&) {
        return std::make_shared<quorl::ParaformerManager>(models.modelSet());
    };
    ParaformerPlugin::ConverterFactory converter = ParaformerPlugin::openTaiwanConverter;
    // Generous, so a chunk that finishes while a stop waits is always in the reply.
    std::chrono::milliseconds flushWaitLimit = std::chrono::minutes(1);
    testing::ChannelHarness harness;
    std::shared_ptr<ParaformerPlugin> plugin = std::make_shared<ParaformerPlugin>(harness.messenger(), services());
};

TEST_F(ParaformerPluginTests, TheLocalesAreFixedAndOtherMethodsAreNotImplemented) {
    const ui::Value locales = ui::ValueList{ui::Value("zh-CN:true"), ui::Value("zh-TW:true"), ui::Value("zh:true")};
    EXPECT_EQ(harness.call(channel, "getSupportedLocales"), ui::MethodReply(locales));
    for (const char* method : {"Start", "pause", ""}) {
        EXPECT_EQ(harness.call(channel, method), ui::MethodReply(ui::NotImplemented{})) << method;
    }
    EXPECT_EQ(preparations, 0);
}

TEST_F(ParaformerPluginTests, PrepareRefusesAMissingOrEmptyLocale) {
    for (const auto& arguments :
         {ui::Value(), ui::Value(ui::ValueMap{{"locale", ""}}), ui::Value(ui::ValueMap{{"locale", 3}})}) {
        EXPECT_EQ(harness.call(channel, "prepare", arguments), errorReply("bad_args", "locale is required"));
    }
    EXPECT_EQ(preparations, 0);
}

TEST_F(ParaformerPluginTests, PrepareForwardsProgressOnceAndLaterOnlyTakesTheLocale) {
    loader = [this](const quorl::ProgressHandler& progress) {
        progress(quorl::DownloadProgress{.fractionCompleted = 0.25, .phase = quorl::DownloadPhase::listing()});
        progress(quorl::DownloadProgress{.fractionCompleted = 0.5, .phase = quorl::DownloadPhase::listing()});
        return std::make_shared<quorl::ParaformerManager>(models.modelSet());
    };
    EXPECT_EQ(call("prepare", prepareArguments("zh-TW")), noValue);
    EXPECT_EQ(harness.events(eventChannel),
              (std::vector<ui::Value>{ui::ValueMap{{"type", "progress"}, {"fraction", 0.25}},
                                      ui::ValueMap{{"type", "progress"}, {"fraction", 0.5}}}));
    EXPECT_TRUE(logged("Mirvo: Paraformer models loaded (int8, zh)"));

    EXPECT_EQ(harness.call(channel, "prepare", prepareArguments("en-US")), noValue);
    EXPECT_EQ(preparations, 1);
    EXPECT_EQ(harness.events(eventChannel).size(), 2u);
    EXPECT_EQ(call("start"), noValue);
    EXPECT_TRUE(logged("Mirvo: Paraformer session started (locale=en-US)"));
}

TEST_F(ParaformerPluginTests, AFailedPrepareIsReportedAndStartNeedsAPrepareFirst) {
    loader = [](const quorl::ProgressHandler&) -> std::shared_ptr<quorl::ParaformerManager> {
        throw SystemError("test.hub", 7, "The model hub could not be reached");
    };
    EXPECT_EQ(call("prepare", prepareArguments("zh-CN")),
              errorReply("prepare-failed", "The model hub could not be reached"));
    EXPECT_EQ(call("start"), errorReply("1", "Call prepare before start"));
    EXPECT_EQ(harness.events(eventChannel),
              (std::vector<ui::Value>{errorEvent("prepare-failed", "The model hub could not be reached"),
                                      errorEvent("1", "Call prepare before start")}));
    EXPECT_EQ(device->startCount(), 0);

    loader = [this](const quorl::ProgressHandler&) {
        return std::make_shared<quorl::ParaformerManager>(models.modelSet());
    };
    EXPECT_EQ(call("prepare", prepareArguments("zh-CN")), noValue);
    EXPECT_EQ(preparations, 2);
}

TEST_F(ParaformerPluginTests, StartAsksForTheMicrophoneEveryTime) {
    ASSERT_EQ(call("prepare", prepareArguments("zh-TW")), noValue);
    access.setAuthorizationStatus(AuthorizationStatus::notDetermined);
    const auto reply = harness.send(channel, "start");
    EXPECT_EQ(access.pendingRequests(), 1u);
    EXPECT_TRUE(harness.events(eventChannel).empty());
    access.answer(true);
    harness.runUntil([&reply] { return reply->has_value(); });
    EXPECT_EQ(*reply, noValue);
    EXPECT_EQ(device->startCount(), 1);
    EXPECT_EQ(device->bufferFrames(), 1024u);

    access.setAuthorizationStatus(AuthorizationStatus::denied);
    EXPECT_EQ(call("start"), noValue);
    EXPECT_EQ(harness.events(eventChannel),
              std::vector<ui::Value>{errorEvent("permission-denied", "Microphone denied")});
    EXPECT_EQ(device->startCount(), 1);
}

TEST_F(ParaformerPluginTests, SpeechShorterThanAChunkIsTranscribedWholeAtStop) {
    startListening();
    capture(0, 29 * second);
    EXPECT_EQ(call("stop"), textReply(mouseTaiwan));
    EXPECT_FALSE(device->isRunning());
    EXPECT_EQ(heard(), (std::vector<Heard>{{.first = 0, .count = 29 * second}}));
    EXPECT_TRUE(eventsOfType("partial").empty());
    EXPECT_FALSE(eventsOfType("level").empty());
    EXPECT_TRUE(logged("Mirvo: Paraformer session started (locale=zh-TW)"));
}

TEST_F(ParaformerPluginTests, EveryFullChunkIsAnnouncedAndTheReplyJoinsAllChunks) {
    startListening();
    capture(0, 35 * second);
    waitForPartials(1);
    capture(35 * second, 65 * second);
    waitForPartials(2);
    capture(65 * second, 70 * second);

    EXPECT_EQ(call("stop"), textReply(mouseTaiwan + " " + softwareTaiwan + " " + networkTaiwan));
    EXPECT_EQ(eventsOfType("partial"),
              (std::vector<ui::Value>{partialEvent(mouseTaiwan), partialEvent(mouseTaiwan + " " + softwareTaiwan)}));
    EXPECT_EQ(heard(), (std::vector<Heard>{{.first = 0, .count = chunk},
                                           {.first = chunk, .count = chunk},
                                           {.first = 2 * chunk, .count = 10 * second}}));
}

TEST_F(ParaformerPluginTests, ABufferThatFillsTheChunkExactlyWaitsForTheNextBuffer) {
    const struct {
        std::size_t end;
        std::string reply;
        std::vector<Heard> heard;
        std::size_t partials;
    } cases[] = {
        {.end = chunk, .reply = mouseTaiwan, .heard = {{.first = 0, .count = chunk}}, .partials = 0},
        {.end = chunk + 1,
         .reply = mouseTaiwan + " " + softwareTaiwan,
         .heard = {{.first = 0, .count = chunk}, {.first = chunk, .count = 1}},
         .partials = 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        replacePlugin();
        const auto calls = models.preprocessor.calls().size();
        startListening();
        capture(0, c.end);
        waitForPartials(c.partials);
        EXPECT_EQ(call("stop"), textReply(c.reply));
        const auto all = heard();
        EXPECT_EQ(std::vector<Heard>(all.begin() + static_cast<std::ptrdiff_t>(calls), all.end()), c.heard);
        EXPECT_EQ(eventsOfType("partial").size(), c.partials);
    }
}

TEST_F(ParaformerPluginTests, AudioThatWaitedBesideAFullChunkIsCarriedIntoTheNextChunkAndTheReply) {
    startListening();
    hold.arm();
    capture(0, chunk + bufferFrames);
    hold.waitUntilHeld();
    // While the first chunk is held, the next one fills up and the last 10 s wait beside it.
    capture(chunk + bufferFrames, 70 * second);

    // The stop waits for the held chunk and for the next one it opens at once.
    const auto reply = harness.send(channel, "stop");
    hold.release();
    harness.runUntil([&reply] { return reply->has_value(); });
    EXPECT_EQ(*reply, textReply(mouseTaiwan + " " + softwareTaiwan + " " + networkTaiwan));
    EXPECT_EQ(eventsOfType("partial"),
              (std::vector<ui::Value>{partialEvent(mouseTaiwan), partialEvent(mouseTaiwan + " " + softwareTaiwan)}));
    EXPECT_EQ(heard(), (std::vector<Heard>{{.first = 0, .count = chunk},
                                           {.first = chunk, .count = chunk},
                                           {.first = 2 * chunk, .count = 10 * second}}));
    EXPECT_EQ(call("stop"), textReply(""));
}

TEST_F(ParaformerPluginTests, AChunkOfAnEarlierSessionNeverReachesALaterOne) {
    startListening();
    hold.arm();
    capture(0, chunk + bufferFrames);
    hold.waitUntilHeld();
    // A new start drops the session, its held chunk included.
    EXPECT_EQ(call("start"), noValue);
    capture(3 * chunk, 3 * chunk + 5 * second);
    hold.release();
    quorl::finishSharedPoolJobs();

    EXPECT_EQ(call("stop"), textReply(informationTaiwan));
    EXPECT_TRUE(eventsOfType("partial").empty());
    EXPECT_EQ(heard(), (std::vector<Heard>{{.first = 0, .count = chunk}, {.first = 3 * chunk, .count = 5 * second}}));
}

TEST_F(ParaformerPluginTests, FailedTranscriptionsAreLoggedOrReportedAndKeepTheEarlierText) {
    const auto broken = std::make_exception_ptr(SystemError("test.model", 5, "The decoder broke"));
    startListening();
    models.decoder.failPredictionsWith(broken);
    capture(0, chunk + bufferFrames);
    harness.runUntil([this] { return logged("Mirvo: Paraformer chunk flush failed: The decoder broke"); });
    EXPECT_TRUE(eventsOfType("partial").empty());

    models.decoder.failPredictionsWith(nullptr);
    capture(chunk + bufferFrames, 2 * chunk + bufferFrames);
    waitForPartials(1);
    models.decoder.failPredictionsWith(broken);
    EXPECT_EQ(call("stop"), textReply(softwareTaiwan));
    EXPECT_EQ(eventsOfType("error"), std::vector<ui::Value>{errorEvent("stop-failed", "The decoder broke")});
    EXPECT_EQ(eventsOfType("partial"), std::vector<ui::Value>{partialEvent(softwareTaiwan)});
}

TEST_F(ParaformerPluginTests, UnloadEndsTheSessionSilentlyAndDropsTheRecogniser) {
    startListening();
    capture(0, 5 * second);
    models.decoder.failPredictionsWith(std::make_exception_ptr(SystemError("test.model", 5, "broken")));
    EXPECT_EQ(call("unload"), noValue);
    EXPECT_FALSE(device->isRunning());
    EXPECT_TRUE(eventsOfType("error").empty());
    EXPECT_TRUE(logged("Mirvo: Paraformer models unloaded"));
    EXPECT_EQ(call("start"), errorReply("1", "Call prepare before start"));
    EXPECT_EQ(call("stop"), textReply(""));
}

TEST_F(ParaformerPluginTests, EveryLocaleIsConvertedToTaiwansForms) {
    const struct {
        const char* locale;
        std::string reply;
    } cases[] = {{"zh-TW", mouseTaiwan}, {"zh-CN", mouseTaiwan}, {"zh", mouseTaiwan}};
    for (const auto& c : cases) {
        ASSERT_EQ(call("prepare", prepareArguments(c.locale)), noValue);
        ASSERT_EQ(call("start"), noValue);
        capture(0, second);
        EXPECT_EQ(call("stop"), textReply(c.reply)) << c.locale;
    }
}

TEST_F(ParaformerPluginTests, WithoutOpenCCsDictionariesTextStaysSimplifiedAndThatIsLoggedOnce) {
    converter = [] { return std::make_unique<TaiwanConverter>("/nonexistent/s2twp.json"); };
    replacePlugin();
    for (int session = 0; session < 2; ++session) {
        startListening();
        capture(0, second);
        EXPECT_EQ(call("stop"), textReply(mouseText));
    }
    const auto lines = log.messages();
    const auto unavailable = std::ranges::count_if(lines, [](const std::string& line) {
        return line.starts_with("Mirvo: OpenCC s2twp converter unavailable (") &&
               line.ends_with("); Mandarin text stays Simplified");
    });
    EXPECT_EQ(unavailable, 1);
}

} // namespace
} // namespace mirvo
