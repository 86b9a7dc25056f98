#include "ChannelHarness.hpp"
#include "ScriptedInputDevice.hpp"

#include "Mirvo/ParakeetPlugin.hpp"
#include "Mirvo/UpdateRelay.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/CommonFormat.hpp"
#include "platform/audio/MicrophoneAccess.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Sleeper.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/core/Task.hpp"
#include "tests/QuorlAudio/asr/batch/AsrManagerTestModels.hpp"
#include "tests/QuorlAudio/asr/streaming/StreamingTestModels.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mirvo {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using platform::audio::AuthorizationStatus;
using platform::audio::PCMBuffer;
using platform::core::SystemError;
using quorl::AsrModelVersion;
using quorl::JointAnswer;
using quorl::StreamingTestModels;
using testing::errorEvent;
using testing::errorReply;

constexpr const char* channel = "mirvo/parakeet";
constexpr const char* eventChannel = "mirvo/parakeet_events";
constexpr std::int64_t second = 16000;
constexpr std::uint32_t bufferFrames = 1024;
constexpr int one = 1, two = 2, lineBreak = 3;

const ui::MethodReply noValue = ui::Value();

const std::vector<std::string> allLocales = {"bg-BG:true", "hr-HR:true", "cs-CZ:true", "da-DK:true", "nl-NL:true",
                                             "en-US:true", "et-EE:true", "fi-FI:true", "fr-FR:true", "de-DE:true",
                                             "el-GR:true", "hu-HU:true", "it-IT:true", "lv-LV:true", "lt-LT:true",
                                             "mt-MT:true", "pl-PL:true", "pt-PT:true", "ro-RO:true", "ru-RU:true",
                                             "sk-SK:true", "sl-SI:true", "es-ES:true", "sv-SE:true", "uk-UA:true"};

ui::MethodReply textReply(const std::string& text) { return ui::Value(text); }

ui::MethodReply localesReply(const std::vector<std::string>& locales) {
    return ui::Value(ui::ValueList(locales.begin(), locales.end()));
}

ui::Value partialEvent(const std::string& text) { return ui::ValueMap{{"type", "partial"}, {"text", text}}; }

ui::Value progressEvent(double fraction) { return ui::ValueMap{{"type", "progress"}, {"fraction", fraction}}; }

ui::Value prepareArguments(const std::string& locale) { return ui::ValueMap{{"locale", locale}}; }

platform::audio::AudioFormat captureFormat() {
    return *platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 16000, 1, false);
}

// Capture-format buffers whose sample at stream position i holds i + 1: distinct and never zero, so what the
// models were given tells exactly which samples arrived, and in which order.
std::vector<float> streamSamples(std::int64_t first, std::int64_t count) {
    std::vector<float> samples(static_cast<std::size_t>(count));
    for (std::int64_t index = 0; index < count; ++index) {
        samples[static_cast<std::size_t>(index)] = static_cast<float>(first + index + 1);
    }
    return samples;
}

std::shared_ptr<PCMBuffer> bufferOf(const std::vector<float>& samples) {
    auto buffer = PCMBuffer::make(captureFormat(), static_cast<std::uint32_t>(samples.size()));
    buffer->setFrameLength(static_cast<std::uint32_t>(samples.size()));
    std::copy(samples.begin(), samples.end(), buffer->floatChannelData()[0]);
    return buffer;
}

// `count` full capture buffers from stream sample `first` on.
std::vector<std::shared_ptr<PCMBuffer>> streamBuffers(std::int64_t first, int count) {
    std::vector<std::shared_ptr<PCMBuffer>> buffers;
    for (int index = 0; index < count; ++index) {
        buffers.push_back(bufferOf(streamSamples(first + std::int64_t{index} * bufferFrames, bufferFrames)));
    }
    return buffers;
}

// Buffers that cover the first `seconds` of the stream.
int buffersFor(std::int64_t seconds) { return static_cast<int>((seconds * second + bufferFrames - 1) / bufferFrames); }

// Opens once, for a preparation that must still be running when the test acts.
class Gate {
public:
    void open() { opened_.set_value(); }
    void pass() const { passage_.wait(); }

private:
    std::promise<void> opened_;
    std::shared_future<void> passage_ = opened_.get_future().share();
};

class ParakeetPluginTests : public ::testing::Test {
protected:
    ParakeetPluginTests() {
        environment.set("TDT_EMISSION_DELAY_FRAMES", std::nullopt).set("XDG_DATA_HOME", dataHome.path().string());
        harness.listen(eventChannel);
    }

    ~ParakeetPluginTests() override {
        models.release();
        plugin.reset();
        // Work the plug-in left on the shared pool ends before what it may touch goes.
        quorl::finishSharedPoolJobs();
    }

    static StreamingTestModels::Vocabulary vocabulary() {
        return {{one, "\u2581one"}, {two, "\u2581two"}, {lineBreak, "\n"}};
    }

    ParakeetPlugin::Services services() {
        return ParakeetPlugin::Services{
            .prepareModels =
                [this](const quorl::ProgressHandler& progress) {
                    ++preparations;
                    return preparer(progress);
                },
            .microphoneAccess = &access,
            .inputDevice = [this] { return device; },
            .recogniser = [this] { return recogniser(); },
        };
    }

    // Drives the main queue until `done` holds (or a minute has passed, so a broken plug-in fails instead
    // of hanging).
    void runUntil(const std::function<bool()>& done) {
        auto& queue = harness.mainQueue();
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        std::function<void()> check = [&] {
            if (done() || std::chrono::steady_clock::now() > giveUp) {
                queue.stop();
            } else {
                queue.asyncAfter(std::chrono::milliseconds(1), check);
            }
        };
        queue.async(check);
        queue.run();
    }

    // Sends the call without waiting for its reply, which lands in the returned slot.
    std::shared_ptr<std::optional<ui::MethodReply>> send(const std::string& method, ui::Value arguments = {}) {
        auto reply = std::make_shared<std::optional<ui::MethodReply>>();
        harness.messenger().send(channel, ui::MethodCall{.method = method, .arguments = std::move(arguments)},
                                 [reply](const ui::MethodReply& answer) { *reply = answer; });
        harness.runUntilIdle();
        return reply;
    }

    // Sends the call and drives the main queue until it is answered.
    std::optional<ui::MethodReply> call(const std::string& method, ui::Value arguments = {}) {
        const auto reply = send(method, std::move(arguments));
        runUntil([&reply] { return reply->has_value(); });
        return *reply;
    }

    void prepare() { ASSERT_EQ(call("prepare", prepareArguments("en-US")), noValue); }

    void startListening() {
        prepare();
        ASSERT_EQ(call("start"), noValue);
    }

    // Has the device deliver the buffers and waits until the tap has handed each one on.
    void capture(std::vector<std::shared_ptr<PCMBuffer>> buffers) {
        device->hand(std::move(buffers));
        device->waitUntilDelivered();
    }

    std::vector<ui::Value> events() const { return harness.events(eventChannel); }

    // The events after the first `count`.
    std::vector<ui::Value> eventsFrom(std::size_t count) const {
        const auto all = events();
        return std::vector<ui::Value>(all.begin() + static_cast<std::ptrdiff_t>(count), all.end());
    }

    std::vector<ui::Value> eventsOfType(const std::string& type) const {
        std::vector<ui::Value> found;
        for (const auto& event : events()) {
            const auto* kind = event.get<ui::ValueMap>()->at("type").get<std::string>();
            if (*kind == type) {
                found.push_back(event);
            }
        }
        return found;
    }

    bool logged(const std::string& line) const {
        const auto all = log.messages();
        return std::ranges::find(all, line) != all.end();
    }

    fs::path modelFolder() const { return dataHome.path() / "QuorlAudio" / "Models" / "parakeet-tdt-0.6b-v3"; }

    testsupport::ScopedEnvironment environment;
    testsupport::TemporaryFolder dataHome;
    testsupport::RecordingLogSink log;
    StreamingTestModels models{vocabulary()};
    platform::audio::MicrophoneAccess access;
    std::shared_ptr<testing::ScriptedInputDevice> device =
        std::make_shared<testing::ScriptedInputDevice>(captureFormat());
    std::atomic<int> preparations = 0;
    ParakeetPlugin::ModelPreparer preparer = [this](const quorl::ProgressHandler&) { return models.modelSet(); };
    ParakeetPlugin::RecogniserFactory recogniser = ParakeetPlugin::streamingRecogniser;
    testing::ChannelHarness harness;
    std::shared_ptr<ParakeetPlugin> plugin = std::make_shared<ParakeetPlugin>(harness.messenger(), services());
};

TEST_F(ParakeetPluginTests, MethodsOutsideTheChannelsOwnAreNotImplemented) {
    for (const char* method : {"Start", "STOP", "prepareModels", ""}) {
        EXPECT_EQ(harness.call(channel, method), ui::MethodReply(ui::NotImplemented{})) << method;
    }
}

TEST_F(ParakeetPluginTests, PrepareRefusesAMissingOrEmptyLocaleAndChangesNothing) {
    const ui::Value arguments[] = {
        ui::Value(),
        ui::ValueList{ui::Value("en-US")},
        ui::ValueMap{{"language", "en-US"}},
        ui::ValueMap{{"locale", 5}},
        ui::ValueMap{{"locale", ""}},
    };
    for (const auto& argument : arguments) {
        EXPECT_EQ(harness.call(channel, "prepare", argument), errorReply("bad_args", "locale is required"));
    }
    EXPECT_EQ(preparations, 0);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(harness.call(channel, "getSupportedLocales"), localesReply({}));
}

TEST_F(ParakeetPluginTests, PrepareForwardsEachProgressReportAndAnswersOnceTheModelsAreLoaded) {
    preparer = [this](const quorl::ProgressHandler& progress) {
        progress(quorl::DownloadProgress{.fractionCompleted = 0.25, .phase = quorl::DownloadPhase::listing()});
        progress(quorl::DownloadProgress{.fractionCompleted = 0.75, .phase = quorl::DownloadPhase::compiling("x")});
        return models.modelSet();
    };
    EXPECT_EQ(call("prepare", ui::ValueMap{{"locale", "en-US"}, {"contextualPhrases", 3}}), noValue);
    EXPECT_EQ(events(), (std::vector<ui::Value>{progressEvent(0.25), progressEvent(0.75)}));
    EXPECT_TRUE(logged("Mirvo: Parakeet models loaded (v3)"));

    // Ready: answered at once, nothing prepared again, only the locale taken.
    EXPECT_EQ(harness.call(channel, "prepare", prepareArguments("de-DE")), noValue);
    EXPECT_EQ(preparations, 1);
    EXPECT_EQ(events().size(), 2u);
    EXPECT_EQ(call("start"), noValue);
    EXPECT_TRUE(logged("Mirvo: Parakeet session started (locale=de-DE)"));
}

TEST_F(ParakeetPluginTests, AFailedPrepareIsReportedAndTheNextPrepareStartsAfresh) {
    preparer = [](const quorl::ProgressHandler&) -> quorl::AsrModels {
        throw SystemError("test.hub", 7, "The model hub could not be reached");
    };
    EXPECT_EQ(call("prepare", prepareArguments("en-US")),
              errorReply("prepare-failed", "The model hub could not be reached"));
    EXPECT_EQ(events(), (std::vector<ui::Value>{errorEvent("prepare-failed", "The model hub could not be reached")}));
    EXPECT_FALSE(logged("Mirvo: Parakeet models loaded (v3)"));
    EXPECT_EQ(call("start"), errorReply("1", "Call prepare before start"));

    preparer = [this](const quorl::ProgressHandler&) { return models.modelSet(); };
    prepare();
    EXPECT_EQ(preparations, 2);
}

TEST_F(ParakeetPluginTests, PreparesThatOverlapShareOnePreparationAndAreAllAnswered) {
    const struct {
        const char* name;
        bool fails;
        std::optional<ui::MethodReply> expectedReply;
        std::vector<ui::Value> expectedEvents;
        // Preparations once a further prepare has come after the shared one.
        int preparationsAfterLaterPrepare;
    } cases[] = {
        {.name = "loaded",
         .fails = false,
         .expectedReply = noValue,
         .expectedEvents = {progressEvent(0.5)},
         .preparationsAfterLaterPrepare = 1},
        {.name = "failed",
         .fails = true,
         .expectedReply = errorReply("prepare-failed", "Download failed"),
         .expectedEvents = {progressEvent(0.5), errorEvent("prepare-failed", "Download failed")},
         .preparationsAfterLaterPrepare = 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        plugin.reset();
        plugin = std::make_shared<ParakeetPlugin>(harness.messenger(), services());
        harness.listen(eventChannel);
        preparations = 0;
        Gate gate;
        preparer = [this, &gate, fails = c.fails](const quorl::ProgressHandler& progress) {
            progress(quorl::DownloadProgress{.fractionCompleted = 0.5, .phase = quorl::DownloadPhase::listing()});
            gate.pass();
            if (fails) {
                throw std::runtime_error("Download failed");
            }
            return models.modelSet();
        };
        const auto eventsBefore = events().size();
        const auto first = send("prepare", prepareArguments("en-US"));
        const auto second = send("prepare", prepareArguments("fr-FR"));
        gate.open();
        runUntil([&] { return first->has_value() && second->has_value(); });

        EXPECT_EQ(*first, c.expectedReply);
        EXPECT_EQ(*second, c.expectedReply);
        EXPECT_EQ(preparations, 1);
        EXPECT_EQ(eventsFrom(eventsBefore), c.expectedEvents);

        preparer = [this](const quorl::ProgressHandler&) { return models.modelSet(); };
        EXPECT_EQ(call("prepare", prepareArguments("en-US")), noValue);
        EXPECT_EQ(preparations, c.preparationsAfterLaterPrepare);
    }
}

TEST_F(ParakeetPluginTests, UnloadCancelsARunningPreparationAndAnswersItsPrepares) {
    std::promise<void> started;
    std::atomic<bool> cancelled = false;
    // A download that stalls until its task is cancelled.
    preparer = [&](const quorl::ProgressHandler&) -> quorl::AsrModels {
        started.set_value();
        try {
            platform::core::sleepFor(std::chrono::minutes(10), platform::core::Task::current());
        } catch (const platform::core::CancellationError&) {
            cancelled = true;
            throw;
        }
        return models.modelSet();
    };
    const auto reply = send("prepare", prepareArguments("en-US"));
    started.get_future().wait();

    EXPECT_EQ(call("unload"), noValue);
    EXPECT_EQ(*reply, errorReply("prepare-failed", "Model preparation was cancelled by unload"));
    quorl::finishSharedPoolJobs();
    EXPECT_TRUE(cancelled);
    harness.runUntilIdle();
    EXPECT_TRUE(events().empty());

    preparer = [this](const quorl::ProgressHandler&) { return models.modelSet(); };
    prepare();
    EXPECT_EQ(preparations, 2);
}

TEST_F(ParakeetPluginTests, APrepareWhosePluginIsGoneIsNeverAnswered) {
    Gate gate;
    preparer = [this, &gate](const quorl::ProgressHandler&) {
        gate.pass();
        return models.modelSet();
    };
    const auto reply = send("prepare", prepareArguments("en-US"));
    plugin.reset();
    gate.open();
    quorl::finishSharedPoolJobs();
    // Not even posted: the host's main queue may have gone with the plug-in.
    EXPECT_EQ(harness.mainQueue().runUntilIdle(), 0u);
    EXPECT_FALSE(reply->has_value());
}

TEST_F(ParakeetPluginTests, SupportedLocalesNeedModelsOnDiskOrLoaded) {
    const struct {
        const char* name;
        std::function<void(const fs::path& folder)> arrange;
        std::vector<std::string> expected;
    } cases[] = {
        {.name = "no model folder", .arrange = [](const fs::path&) {}, .expected = {}},
        {.name = "empty model folder",
         .arrange = [](const fs::path& folder) { fs::create_directories(folder); },
         .expected = {}},
        {.name = "a file in the folder",
         .arrange =
             [](const fs::path& folder) {
                 fs::create_directories(folder);
                 std::ofstream(folder / "anything.txt") << "x";
             },
         .expected = allLocales},
        {.name = "a folder in the folder",
         .arrange = [](const fs::path& folder) { fs::create_directories(folder / "Encoder.mlmodelc"); },
         .expected = allLocales},
        {.name = "a file where the folder should be",
         .arrange =
             [](const fs::path& folder) {
                 fs::create_directories(folder.parent_path());
                 std::ofstream(folder) << "x";
             },
         .expected = {}},
    };
    for (const auto& c : cases) {
        fs::remove_all(dataHome.path() / "QuorlAudio");
        c.arrange(modelFolder());
        EXPECT_EQ(harness.call(channel, "getSupportedLocales"), localesReply(c.expected)) << c.name;
    }
}

TEST_F(ParakeetPluginTests, SupportedLocalesFollowTheLoadedModels) {
    prepare();
    EXPECT_EQ(harness.call(channel, "getSupportedLocales"), localesReply(allLocales));
    EXPECT_EQ(call("unload"), noValue);
    EXPECT_EQ(harness.call(channel, "getSupportedLocales"), localesReply({}));
}

TEST_F(ParakeetPluginTests, ARefusedMicrophoneIsToldByAnEventAndStartsNothing) {
    for (const auto status : {AuthorizationStatus::restricted, AuthorizationStatus::denied}) {
        access.setAuthorizationStatus(status);
        prepare();
        const auto eventsBefore = events().size();
        EXPECT_EQ(harness.call(channel, "start"), noValue);
        EXPECT_EQ(eventsFrom(eventsBefore),
                  std::vector<ui::Value>{errorEvent("permission-denied", "Microphone denied")});
    }
    EXPECT_EQ(access.pendingRequests(), 0u);
    EXPECT_EQ(device->startCount(), 0);
    EXPECT_EQ(call("stop"), textReply(""));
}

TEST_F(ParakeetPluginTests, AnUndecidedMicrophoneIsAskedForAndTheStartAnsweredAfterTheUser) {
    const struct {
        bool granted;
        std::vector<ui::Value> expectedEvents;
        int deviceStarts;
    } cases[] = {
        {.granted = true,
         .expectedEvents = {errorEvent("permission-pending", "Waiting for you to allow the microphone")},
         .deviceStarts = 1},
        {.granted = false,
         .expectedEvents = {errorEvent("permission-pending", "Waiting for you to allow the microphone"),
                            errorEvent("permission-denied", "Microphone denied")},
         .deviceStarts = 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.granted);
        access.setAuthorizationStatus(AuthorizationStatus::notDetermined);
        prepare();
        const auto eventsBefore = events().size();
        const auto startsBefore = device->startCount();
        const auto reply = send("start");
        EXPECT_FALSE(reply->has_value());
        EXPECT_EQ(access.pendingRequests(), 1u);
        EXPECT_EQ(eventsFrom(eventsBefore),
                  std::vector<ui::Value>{errorEvent("permission-pending", "Waiting for you to allow the microphone")});

        access.answer(c.granted);
        runUntil([&reply] { return reply->has_value(); });
        EXPECT_EQ(*reply, noValue);
        EXPECT_EQ(eventsFrom(eventsBefore), c.expectedEvents);
        EXPECT_EQ(device->startCount() - startsBefore, c.deviceStarts);
        EXPECT_EQ(call("stop"), textReply(""));
    }
}

TEST_F(ParakeetPluginTests, StartBeforePrepareFailsWithCodeOne) {
    EXPECT_EQ(call("start"), errorReply("1", "Call prepare before start"));
    EXPECT_EQ(events(), std::vector<ui::Value>{errorEvent("1", "Call prepare before start")});
    EXPECT_EQ(device->startCount(), 0);
}

TEST_F(ParakeetPluginTests, StartCapturesTheDeviceInBuffersOf1024Frames) {
    startListening();
    EXPECT_TRUE(device->isRunning());
    EXPECT_EQ(device->bufferFrames(), 1024u);
    EXPECT_TRUE(logged("Mirvo: Parakeet session started (locale=en-US)"));
    EXPECT_TRUE(events().empty());
}

TEST_F(ParakeetPluginTests, EveryCapturedBufferReachesTheRecogniserInOrderBeforeStopFinishes) {
    models.scriptWindows({{{10, JointAnswer{.token = one}}, {20, JointAnswer{.token = two}}}});
    startListening();
    capture(streamBuffers(0, 40));

    EXPECT_EQ(call("stop"), textReply("one two"));
    EXPECT_FALSE(device->isRunning());
    const auto windows = models.windows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].samples, streamSamples(0, 40 * bufferFrames));
    EXPECT_TRUE(eventsOfType("error").empty());
}

TEST_F(ParakeetPluginTests, CapturedBuffersAreMetered) {
    startListening();
    capture({bufferOf(std::vector<float>(bufferFrames, 0.0625F))});
    runUntil([this] { return !eventsOfType("level").empty(); });
    const ui::Value level = ui::ValueMap{{"type", "level"}, {"level", 0.5}};
    EXPECT_EQ(eventsOfType("level"), std::vector<ui::Value>{level});
}

TEST_F(ParakeetPluginTests, EachUpdateBecomesAPartialWithTheConfirmedAndTheVolatileText) {
    // The second window waits until the first one's partial has gone out, so each partial shows the
    // transcript of its own window.
    models.scriptWindows({{{10, JointAnswer{.token = one}}}, {{100, JointAnswer{.token = two}}}});
    models.holdWindow(1);
    startListening();
    capture(streamBuffers(0, buffersFor(24)));
    models.waitUntilHeld();
    runUntil([this] { return !eventsOfType("partial").empty(); });
    models.release();
    runUntil([this] { return eventsOfType("partial").size() == 2; });

    EXPECT_EQ(eventsOfType("partial"), (std::vector<ui::Value>{partialEvent("one"), partialEvent("one two")}));
    EXPECT_EQ(call("stop"), textReply("one two"));
}

TEST_F(ParakeetPluginTests, AnUpdateWithoutTextSendsNoPartial) {
    models.scriptWindows({{}, {{100, JointAnswer{.token = two}}}});
    startListening();
    capture(streamBuffers(0, buffersFor(24)));
    runUntil([this] { return !eventsOfType("partial").empty(); });
    EXPECT_EQ(call("stop"), textReply("two"));

    // The first window's update comes while the transcript is still empty; it may read the second window's
    // transcript if that is already there, but never sends an empty one.
    const auto partials = eventsOfType("partial");
    EXPECT_TRUE(std::ranges::all_of(partials, [](const ui::Value& event) { return event == partialEvent("two"); }));
}

TEST_F(ParakeetPluginTests, StopWithoutASessionAnswersTheEmptyText) {
    EXPECT_EQ(call("stop"), textReply(""));
    startListening();
    EXPECT_EQ(call("stop"), textReply(""));
    EXPECT_EQ(call("stop"), textReply(""));
    EXPECT_TRUE(events().empty());
}

TEST_F(ParakeetPluginTests, StopAnswersTheFinalTextWithoutWhiteSpaceOrLineBreaksAtEitherEnd) {
    const struct {
        std::map<int, JointAnswer> window;
        const char* expected;
    } cases[] = {
        {.window = {{10, JointAnswer{.token = two}}, {20, JointAnswer{.token = lineBreak}}}, .expected = "two"},
        {.window = {{10, JointAnswer{.token = lineBreak}}}, .expected = ""},
    };
    // One window per session, counted across sessions.
    std::vector<std::map<int, JointAnswer>> windows;
    for (const auto& c : cases) {
        windows.push_back(c.window);
    }
    models.scriptWindows(windows);
    prepare();
    for (const auto& c : cases) {
        ASSERT_EQ(call("start"), noValue);
        capture(streamBuffers(0, 40));
        EXPECT_EQ(call("stop"), textReply(c.expected));
    }
}

TEST_F(ParakeetPluginTests, AFailedFinishIsReportedAndTheStopAnswersTheEmptyText) {
    models.failWindow(0, std::make_exception_ptr(std::runtime_error("scripted window failure")));
    startListening();
    capture(streamBuffers(0, 40));

    EXPECT_EQ(call("stop"), textReply(""));
    const auto errors = eventsOfType("error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], errorEvent("stop-failed", "Model processing failed: scripted window failure"));
    EXPECT_EQ(call("stop"), textReply(""));
    EXPECT_EQ(eventsOfType("error").size(), 1u);
}

TEST_F(ParakeetPluginTests, StartWhileListeningDropsTheEarlierSessionSilently) {
    // The earlier session's finish fails; that is not reported either.
    models.failWindow(0, std::make_exception_ptr(std::runtime_error("scripted window failure")));
    models.scriptWindows({{}, {{10, JointAnswer{.token = two}}}});
    startListening();
    capture(streamBuffers(0, 40));
    EXPECT_EQ(call("start"), noValue);
    capture(streamBuffers(40 * bufferFrames, 40));

    EXPECT_EQ(call("stop"), textReply("two"));
    EXPECT_EQ(device->startCount(), 2);
    const auto windows = models.windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[1].samples, streamSamples(40 * bufferFrames, 40 * bufferFrames));
    EXPECT_TRUE(eventsOfType("error").empty());
}

TEST_F(ParakeetPluginTests, UnloadEndsTheSessionAndDropsTheModels) {
    startListening();
    capture(streamBuffers(0, 40));

    EXPECT_EQ(call("unload"), noValue);
    EXPECT_TRUE(logged("Mirvo: Parakeet models unloaded"));
    EXPECT_FALSE(device->isRunning());
    EXPECT_EQ(call("stop"), textReply(""));
    EXPECT_EQ(call("start"), errorReply("1", "Call prepare before start"));
    EXPECT_EQ(device->startCount(), 1);

    startListening();
    EXPECT_EQ(preparations, 2);
    EXPECT_TRUE(device->isRunning());
}

TEST_F(ParakeetPluginTests, ACaptureDeviceThatCannotStartFailsTheStartWithItsCode) {
    prepare();
    device->failNextStart(SystemError("test.audio", 560557684, "The input device is unavailable"));
    EXPECT_EQ(call("start"), errorReply("560557684", "The input device is unavailable"));
    EXPECT_EQ(events(), std::vector<ui::Value>{errorEvent("560557684", "The input device is unavailable")});
    EXPECT_FALSE(logged("Mirvo: Parakeet session started (locale=en-US)"));

    EXPECT_EQ(call("stop"), textReply(""));
    EXPECT_EQ(call("start"), noValue);
    EXPECT_TRUE(device->isRunning());
}

TEST_F(ParakeetPluginTests, ARecogniserThatCannotStartFailsTheStartBeforeCapturing) {
    recogniser = [] {
        return std::make_shared<quorl::SlidingWindowAsrManager>(
            quorl::SlidingWindowAsrConfig::custom({.chunkDuration = 12.0, .confirmationThreshold = 0.8}));
    };
    prepare();
    const std::string message = "Invalid configuration: leftContextSeconds + chunkSeconds + rightContextSeconds = "
                                "16.0s (256000 samples) exceeds the model's maximum input of 15.0s (240000 samples "
                                "at 16 kHz)";
    EXPECT_EQ(call("start"), errorReply("1", message));
    EXPECT_EQ(events(), std::vector<ui::Value>{errorEvent("1", message)});
    EXPECT_EQ(device->startCount(), 0);
    EXPECT_EQ(call("stop"), textReply(""));
}

TEST_F(ParakeetPluginTests, DroppingThePluginWhileListeningEndsTheCapture) {
    startListening();
    capture(streamBuffers(0, 40));
    const std::weak_ptr<ParakeetPlugin> weak = plugin;
    plugin.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(device->isRunning());
}

TEST_F(ParakeetPluginTests, ThePluginLetGoOfOnItsSessionQueueEndsItsSessionThere) {
    prepare();
    const std::weak_ptr<ParakeetPlugin> weak = plugin;
    // Drops the test's reference while the start runs, so the start's own reference is the last one.
    recogniser = [this] {
        plugin.reset();
        return ParakeetPlugin::streamingRecogniser();
    };
    const auto reply = send("start");
    runUntil([&reply] { return reply->has_value(); });

    EXPECT_EQ(*reply, noValue);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(device->startCount(), 1);
    EXPECT_FALSE(device->isRunning());
}

TEST_F(ParakeetPluginTests, CallsQueuedBehindTheLastReferenceAreAnsweredAsForAPluginThatIsGone) {
    prepare();
    const std::weak_ptr<ParakeetPlugin> weak = plugin;
    // The first start holds the plug-in while the test queues the other calls behind it and lets go of its
    // own reference; once that start is done nothing holds the plug-in any more.
    Gate reached;
    Gate release;
    recogniser = [&reached, &release] {
        reached.open();
        release.pass();
        return ParakeetPlugin::streamingRecogniser();
    };
    const auto start = send("start");
    reached.pass();
    const auto secondStart = send("start");
    const auto stop = send("stop");
    const auto unload = send("unload");
    plugin.reset();
    release.open();
    runUntil([&] { return start->has_value() && stop->has_value() && unload->has_value(); });

    EXPECT_EQ(*start, noValue);
    // Its job ran before the stop's, whose reply has come.
    EXPECT_FALSE(secondStart->has_value());
    // No value, not the empty text of a stop without a session.
    EXPECT_EQ(*stop, noValue);
    EXPECT_EQ(*unload, noValue);
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(device->isRunning());
    EXPECT_FALSE(logged("Mirvo: Parakeet models unloaded"));
}

TEST(ParakeetDefaultModelsTests, TheV3ModelsWithTheInt8EncoderAreLoadedFromTheApplicationSupportFolder) {
    testsupport::ScopedEnvironment environment;
    const testsupport::TemporaryFolder dataHome;
    // Nothing may be fetched: a hub request would fail at once.
    environment.set("XDG_DATA_HOME", dataHome.path().string()).set("REGISTRY_URL", "http://127.0.0.1:9");
    quorl::AsrManagerTestModels scripted;
    const auto manifests = scripted.manifests(AsrModelVersion::v3);
    const fs::path folder = dataHome.path() / "QuorlAudio" / "Models" / "parakeet-tdt-0.6b-v3";
    testsupport::writeModelBundle(folder, "Preprocessor.mlmodelc", manifests.preprocessor);
    testsupport::writeModelBundle(folder, "Encoder.mlmodelc", *manifests.encoder);
    testsupport::writeModelBundle(folder, quorl::decoderFileName(AsrModelVersion::v3), manifests.decoder);
    testsupport::writeModelBundle(folder, quorl::jointFileName(AsrModelVersion::v3), manifests.joint);
    std::ofstream(folder / quorl::vocabularyFileName(AsrModelVersion::v3)) << R"({"1": "\u2581one"})";

    std::vector<double> fractions;
    const auto models = ParakeetPlugin::downloadAndLoadModels(
        [&fractions](const quorl::DownloadProgress& progress) { fractions.push_back(progress.fractionCompleted); });

    EXPECT_EQ(models.version, AsrModelVersion::v3);
    EXPECT_NE(models.encoder, nullptr);
    EXPECT_EQ(models.vocabulary, (std::unordered_map<int, std::string>{{1, "\u2581one"}}));
    ASSERT_FALSE(fractions.empty());
    EXPECT_EQ(fractions.back(), 1.0);
}

TEST(ParakeetPartialTextTests, ConfirmedAndVolatileTextAreJoinedElseTheUpdatesOwnTextIsUsed) {
    const struct {
        const char* confirmed;
        const char* volatileText;
        const char* updateText;
        const char* expected;
    } cases[] = {
        {.confirmed = "one two", .volatileText = "three", .updateText = "three", .expected = "one two three"},
        {.confirmed = "one", .volatileText = "", .updateText = "x", .expected = "one"},
        {.confirmed = "", .volatileText = "two", .updateText = "x", .expected = "two"},
        {.confirmed = "", .volatileText = "", .updateText = "window", .expected = "window"},
        {.confirmed = "", .volatileText = "", .updateText = "", .expected = ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UpdateRelay::partialText(c.confirmed, c.volatileText, c.updateText), c.expected)
            << c.confirmed << " | " << c.volatileText << " | " << c.updateText;
    }
}

} // namespace
} // namespace mirvo
