#include "SlidingWindowTest.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace quorl::testing {
namespace {

using LifecycleTest = SlidingWindowTest;

TEST_F(LifecycleTest, AFreshRecogniserCannotStartAndFinishesWithEmptyText) {
    SlidingWindowAsrManager manager(SlidingWindowAsrConfig::streaming());
    EXPECT_EQ(testsupport::errorText([&] { manager.startStreaming(AudioSource::microphone); }),
              "AsrManager not initialized. Call initialize() first.");
    EXPECT_EQ(manager.finish(), "");
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "Initialized SlidingWindowAsrManager with config: chunk=11.0s left=2.0s right=2.0s",
                           "Finishing sliding-window ASR...",
                           "Final transcription: 0 characters",
                       }));
}

TEST_F(LifecycleTest, AWindowBeyondTheModelInputIsAcceptedAtConstructionAndRefusedAtStart) {
    SlidingWindowAsrManager& manager =
        loaded(SlidingWindowAsrConfig::custom({.chunkDuration = 12.0, .confirmationThreshold = 0.8}));
    try {
        manager.startStreaming(AudioSource::system);
        FAIL() << "started";
    } catch (const SlidingWindowAsrError& error) {
        EXPECT_EQ(error.kind(), SlidingWindowAsrError::Kind::invalidConfiguration);
        EXPECT_EQ(std::string(error.what()),
                  "Invalid configuration: leftContextSeconds + chunkSeconds + rightContextSeconds = 16.0s (256000 "
                  "samples) exceeds the model's maximum input of 15.0s (240000 samples at 16 kHz)");
    }
    EXPECT_EQ(manager.source(), AudioSource::microphone);
    EXPECT_FALSE(logged("Starting sliding-window ASR engine for source: system..."));
}

TEST_F(LifecycleTest, AStreamStartsWithItsSourceAndEndsWithTheFinalText) {
    models.scriptWindows({{{10, JointAnswer{.token = one}}, {20, JointAnswer{.token = two}}}});
    auto updates = loaded().transcriptionUpdates();
    recogniser->startStreaming(AudioSource::system);
    EXPECT_EQ(recogniser->source(), AudioSource::system);
    streamRange(*recogniser, 0, 5 * second);

    EXPECT_EQ(recogniser->finish(), "one two");
    EXPECT_EQ(drained(updates).size(), 1u);
    for (const char* line :
         {"Initialized SlidingWindowAsrManager with config: chunk=11.0s left=2.0s right=2.0s",
          "Loading SlidingWindowAsrManager with provided models", "SlidingWindowAsrManager loaded successfully",
          "Starting sliding-window ASR engine for source: system...", "Sliding-window ASR engine started successfully",
          "Recognition task started, waiting for audio...", "Finishing sliding-window ASR...",
          "Recognition task completed", "Final transcription: 7 characters"}) {
        EXPECT_TRUE(logged(line)) << line;
    }
    EXPECT_TRUE(logged("AsrManager loaded successfully with provided models", "ASR"));
    // The window's line gives its processing time in seconds with three decimals.
    const auto all = lines();
    const std::string prefix = "Chunk 1: 'one two', time: ";
    const auto chunk = std::ranges::find_if(all, [&](const std::string& line) { return line.starts_with(prefix); });
    ASSERT_NE(chunk, all.end());
    const std::string time = chunk->substr(prefix.size());
    ASSERT_GE(time.size(), 7u) << time;
    EXPECT_TRUE(time.ends_with("s)")) << time;
    EXPECT_EQ(time[time.size() - 6], '.') << time;
}

TEST_F(LifecycleTest, FinishingAgainGivesTheSameTextAndLaterAudioIsDropped) {
    models.scriptWindows({{{10, JointAnswer{.token = one}}}});
    SlidingWindowAsrManager& manager = started();
    streamRange(manager, 0, 5 * second);
    EXPECT_EQ(manager.finish(), "one");

    streamRange(manager, 5 * second, 20 * second);
    EXPECT_EQ(manager.finish(), "one");
    EXPECT_EQ(models.windows().size(), 1u);
}

TEST_F(LifecycleTest, AudioQueuedBeforeTheStreamStartsIsDecodedOnceItStarts) {
    SlidingWindowAsrManager& manager = loaded();
    streamRange(manager, 0, 5 * second);
    manager.startStreaming(AudioSource::microphone);
    manager.finish();
    ASSERT_EQ(models.windows().size(), 1u);
    EXPECT_EQ(models.windows()[0].samples, streamSamples(0, 5 * second));
}

TEST_F(LifecycleTest, CancellingEndsTheUpdatesAndKeepsWhatWasDecoded) {
    models.scriptWindows({{{10, JointAnswer{.token = one}}}});
    auto updates = loaded().transcriptionUpdates();
    recogniser->startStreaming(AudioSource::microphone);
    streamRange(*recogniser, 0, 13 * second);
    const auto first = updates.next();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->text, "one");

    recogniser->cancel();
    EXPECT_FALSE(updates.next().has_value());
    streamRange(*recogniser, 13 * second, 20 * second);
    EXPECT_EQ(recogniser->finish(), "one");
    // The cancelled worker took no further audio and flushed nothing.
    EXPECT_EQ(models.windows().size(), 1u);
    EXPECT_TRUE(logged("SlidingWindowAsrManager cancelled"));
    EXPECT_FALSE(logged("Recognition task completed"));
}

TEST_F(LifecycleTest, OnlyTheLatestUpdateStreamReceivesUpdatesAndAnEarlierOneEnds) {
    SlidingWindowAsrManager& manager = started();
    auto earlier = manager.transcriptionUpdates();
    auto latest = manager.transcriptionUpdates();
    EXPECT_FALSE(earlier.next().has_value());
    streamRange(manager, 0, 13 * second);
    manager.finish();
    EXPECT_EQ(drained(latest).size(), 2u);
}

TEST_F(LifecycleTest, DroppingAStreamingRecogniserEndsItsUpdates) {
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 2 * second);
    recogniser.reset();
    EXPECT_FALSE(updates.next().has_value());
}

TEST_F(LifecycleTest, ResetClearsTheTranscriptsAndStartsTheTimelineAgain) {
    models.scriptWindows({{{50, JointAnswer{.token = one}}}});
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 13 * second);
    ASSERT_TRUE(updates.next().has_value());
    EXPECT_EQ(recogniser->volatileTranscript(), "one");

    recogniser->reset();
    EXPECT_EQ(recogniser->volatileTranscript(), "");
    EXPECT_EQ(recogniser->confirmedTranscript(), "");
    streamRange(*recogniser, 0, 5 * second);
    EXPECT_EQ(recogniser->finish(), "");
    const auto windows = models.windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[1].samples, streamSamples(0, 5 * second));
    EXPECT_TRUE(logged("SlidingWindowAsrManager reset for source: microphone"));
}

TEST_F(LifecycleTest, CleanupReleasesTheModelsAndLeavesTheTranscripts) {
    models.scriptWindows({{{50, JointAnswer{.token = one}}}});
    auto updates = started().transcriptionUpdates();
    streamRange(*recogniser, 0, 13 * second);
    ASSERT_TRUE(updates.next().has_value());

    recogniser->cleanup();
    EXPECT_FALSE(updates.next().has_value());
    EXPECT_EQ(recogniser->finish(), "one");
    EXPECT_EQ(testsupport::errorText([&] { recogniser->startStreaming(AudioSource::microphone); }),
              "AsrManager not initialized. Call initialize() first.");
    EXPECT_TRUE(logged("AsrManager resources cleaned up", "ASR"));
    EXPECT_TRUE(logged("SlidingWindowAsrManager resources cleaned up"));
}

TEST_F(LifecycleTest, ModelsInTheDefaultCacheFolderAreLoadedFromThere) {
    testsupport::TemporaryFolder home;
    environment.set("XDG_DATA_HOME", home.path().string()).set("HOME", home.path().string());
    AsrManagerTestModels scripted;
    const auto manifests = scripted.manifests(AsrModelVersion::v3);
    const auto folder = AsrModels::defaultCacheDirectory(AsrModelVersion::v3);
    testsupport::writeModelBundle(folder, preprocessorFileName(AsrModelVersion::v3), manifests.preprocessor);
    testsupport::writeModelBundle(folder, *encoderFileName(AsrModelVersion::v3, ParakeetEncoderPrecision::int8),
                                  *manifests.encoder);
    testsupport::writeModelBundle(folder, decoderFileName(AsrModelVersion::v3), manifests.decoder);
    testsupport::writeModelBundle(folder, jointFileName(AsrModelVersion::v3), manifests.joint);
    std::ofstream(folder / vocabularyFileName(AsrModelVersion::v3)) << R"({"1": "\u2581cached"})";
    scripted.jointAnswers = {{10, JointAnswer{.token = 1}}};

    std::vector<double> progress;
    SlidingWindowAsrManager manager(SlidingWindowAsrConfig::streaming());
    manager.loadModels(std::nullopt,
                       [&](const DownloadProgress& report) { progress.push_back(report.fractionCompleted); });
    manager.startStreaming(AudioSource::microphone);
    streamRange(manager, 0, 2 * second);
    EXPECT_EQ(manager.finish(), "cached");
    EXPECT_TRUE(logged("Loading ASR models..."));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
}

} // namespace
} // namespace quorl::testing
