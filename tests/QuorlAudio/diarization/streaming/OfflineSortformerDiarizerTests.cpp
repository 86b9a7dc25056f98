#include "QuorlAudio/diarization/streaming/OfflineSortformerDiarizer.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using testsupport::ScriptedKernel;

constexpr std::size_t bins = OfflineSortformerConfig::melFeatures;
constexpr std::size_t window = OfflineSortformerConfig::windowMelFrames();

// Samples whose centred framing gives exactly `melFrames` frames: 1 + (samples + 112) / 160.
std::vector<float> audioOfFrames(int melFrames) {
    std::vector<float> samples(static_cast<std::size_t>((melFrames - 1) * 160 - 112));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.3f * std::sin(static_cast<float>(i) * 0.031f) + 0.1f * std::sin(static_cast<float>(i) * 0.57f);
    }
    return samples;
}

// The predictions a window gives: `frames` rows of 4 slots, from a function of the call and the row.
using WindowScript = std::function<std::vector<float>(std::size_t call, std::size_t frames)>;

// Every window gives `value` in every slot.
WindowScript constant(float value) {
    return [value](std::size_t, std::size_t frames) { return std::vector<float>(frames * 4, value); };
}

class OfflineSortformerDiarizerTest : public ::testing::Test {
protected:
    OfflineSortformerDiarizerTest() {
        const auto bundle = testsupport::writeModelBundle(
            folder.path(), "Offline.mlmodelc",
            testsupport::modelManifest(kernel.name(),
                                       {testsupport::multiArrayFeature("mel", {1, bins, window}),
                                        testsupport::multiArrayFeature("mel_length", {1}, DataType::int32)},
                                       {testsupport::multiArrayFeature("speaker_preds", {1, 384, 4})}));
        bundlePath = bundle;
    }

    std::unique_ptr<OfflineSortformerDiarizer> ready(int overlap = 100) {
        auto diarizer = std::make_unique<OfflineSortformerDiarizer>(
            OfflineSortformerConfig{.precision = SortformerModelPrecision::fp16, .overlapOutputFrames = overlap});
        diarizer->initialize(bundlePath);
        return diarizer;
    }

    std::vector<double> melLengths() const {
        std::vector<double> lengths;
        for (const auto& call : kernel.calls()) {
            lengths.push_back(call.inputs.at("mel_length").multiArrayValue()->value(0));
        }
        return lengths;
    }

    WindowScript script = constant(0.0f);
    // Answers `outputFrames` rows (384 unless a test shortens it) from the script.
    std::size_t outputFrames = 384;
    ScriptedKernel kernel{
        "offline-sortformer-diarizer", [this](const ScriptedKernel::Call& call) {
            const auto values = script(call.index, outputFrames);
            return ScriptedKernel::Outputs{
                {"speaker_preds", FeatureValue(testsupport::makeArray(
                                      {1, outputFrames, 4}, std::vector<double>(values.begin(), values.end())))}};
        }};
    testsupport::TemporaryFolder folder;
    testsupport::RecordingLogSink sink;
    std::filesystem::path bundlePath;
};

TEST_F(OfflineSortformerDiarizerTest, WindowsStartEvery2272MelFramesUntilOneReachesTheEnd) {
    struct Case {
        int melFrames;
        std::vector<double> lengths;
    };
    const std::vector<Case> cases{
        {100, {100}},
        {3071, {3071}},
        // A window that ends exactly at the end still lets the next one start.
        {3072, {3072, 800}},
        {7000, {3072, 3072, 2456}},
    };
    for (const auto& [melFrames, lengths] : cases) {
        const auto calls = kernel.calls().size();
        auto diarizer = ready();
        diarizer->processComplete(audioOfFrames(melFrames));
        std::vector<double> run = melLengths();
        run.erase(run.begin(), run.begin() + static_cast<long>(calls));
        EXPECT_EQ(run, lengths) << melFrames << " mel frames";
    }
    EXPECT_EQ(sink.messages("OfflineSortformerDiarizer").back(), "Offline diarization: 3 window(s), 875 frames");
}

TEST_F(OfflineSortformerDiarizerTest, EachWindowReceivesItsOwnMelFrames) {
    const auto samples = audioOfFrames(7000);
    AudioMelSpectrogram front;
    const auto mel = front.computeFlatTransposed(samples, 0, AudioMelSpectrogram::PaddingMode::center, std::nullopt);

    ready()->processComplete(samples);

    const auto calls = kernel.calls();
    ASSERT_EQ(calls.size(), 3u);
    const std::vector<std::size_t> starts{0, 2272, 4544};
    for (std::size_t call = 0; call < calls.size(); ++call) {
        const auto input = testsupport::valuesOf(*calls[call].inputs.at("mel").multiArrayValue());
        for (const std::size_t frame : {std::size_t{0}, std::size_t{1}, std::size_t{2455}}) {
            for (const std::size_t bin : {std::size_t{0}, std::size_t{77}, bins - 1}) {
                EXPECT_EQ(input[bin * window + frame], mel.mel[(starts[call] + frame) * bins + bin])
                    << "window " << call << ", frame " << frame << ", bin " << bin;
            }
        }
    }
}

TEST_F(OfflineSortformerDiarizerTest, OverlapIsLimitedToLessThanAWindow) {
    struct Case {
        int overlap;
        std::vector<double> lengths;
    };
    // 3100 mel frames: the step is (384 - overlap) * 8 mel frames.
    const std::vector<Case> cases{
        {0, {3072, 28}},
        {-5, {3072, 28}},
        {100, {3072, 828}},
        {383, {3072, 3072, 3072, 3072, 3068}},
        {384, {3072, 3072, 3072, 3072, 3068}},
        {1000, {3072, 3072, 3072, 3072, 3068}},
    };
    for (const auto& [overlap, lengths] : cases) {
        const auto calls = kernel.calls().size();
        ready(overlap)->processComplete(audioOfFrames(3100));
        std::vector<double> run = melLengths();
        run.erase(run.begin(), run.begin() + static_cast<long>(calls));
        EXPECT_EQ(run, lengths) << "overlap " << overlap;
    }
}

// Window 0: slot 0 speaks in frames 0 ..< 200, slot 1 from 200 on. Window 1 (from output frame 284) numbers
// the speaker of frames 284 on as its slot 0.
std::vector<float> swappedSpeakers(std::size_t call, std::size_t frames) {
    std::vector<float> values(frames * 4, 0.0f);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const std::size_t slot = call == 0 ? (frame < 200 ? 0 : 1) : 0;
        values[frame * 4 + slot] = 0.9f;
    }
    return values;
}

TEST_F(OfflineSortformerDiarizerTest, ALaterWindowContinuesTheSpeakersItShares) {
    script = swappedSpeakers;

    const auto timeline = ready()->processComplete(audioOfFrames(3072));

    const auto predictions = timeline->finalizedPredictions();
    ASSERT_EQ(predictions.size(), 384u * 4);
    for (const std::size_t frame : {std::size_t{284}, std::size_t{383}}) {
        EXPECT_EQ(predictions[frame * 4 + 0], 0.0f) << frame;
        EXPECT_EQ(predictions[frame * 4 + 1], 0.9f) << frame;
    }
    const auto speakers = timeline->speakers();
    ASSERT_EQ(speakers.size(), 2u);
    ASSERT_EQ(speakers.at(1)->finalizedSegments().size(), 1u);
    EXPECT_EQ(speakers.at(1)->finalizedSegments()[0].startFrame, 200);
    EXPECT_EQ(speakers.at(1)->finalizedSegments()[0].endFrame, 384);
    EXPECT_EQ(timeline->numTentativeFrames(), 0);
}

TEST_F(OfflineSortformerDiarizerTest, SharedFramesAverageTheWindowsAndAbuttingWindowsAreNotRemapped) {
    script = [](std::size_t call, std::size_t frames) {
        return std::vector<float>(frames * 4, call == 0 ? 0.2f : 0.6f);
    };
    const auto averaged = ready()->processComplete(audioOfFrames(3072))->finalizedPredictions();
    EXPECT_EQ(averaged[283 * 4], 0.2f);
    EXPECT_FLOAT_EQ(averaged[284 * 4 + 3], 0.4f);

    // With no overlap the second window's slot 0 stays slot 0, though the first window's speaker was slot 1.
    script = swappedSpeakers;
    const auto abutting = ready(0)->processComplete(audioOfFrames(3100))->finalizedPredictions();
    ASSERT_EQ(abutting.size(), 388u * 4);
    EXPECT_EQ(abutting[384 * 4 + 0], 0.9f);
    EXPECT_EQ(abutting[384 * 4 + 1], 0.0f);
}

TEST_F(OfflineSortformerDiarizerTest, TheTimelineHasTheModelsSlotsAndFrameDuration) {
    const DiarizerTimelineConfig given{.numSpeakers = 2, .frameDurationSeconds = 0.1f, .onsetThreshold = 0.7f};
    OfflineSortformerDiarizer diarizer(OfflineSortformerConfig::offlineV2_1(), given);
    diarizer.initialize(bundlePath);
    script = constant(0.8f);

    const auto timeline = diarizer.processComplete(audioOfFrames(100));

    EXPECT_EQ(timeline->config().numSpeakers, 4);
    EXPECT_EQ(timeline->config().frameDurationSeconds, 0.08f);
    EXPECT_EQ(timeline->config().onsetThreshold, 0.7f);
    EXPECT_EQ(timeline->numFrames(), 13);
    EXPECT_EQ(timeline->speakers().size(), 4u);
    EXPECT_EQ(OfflineSortformerDiarizer().timelineConfig(), DiarizerTimelineConfig::defaultConfig(4, 0.08f));
}

TEST_F(OfflineSortformerDiarizerTest, AnOutputShorterThanTheWindowsFramesIsRefused) {
    // 3072 mel frames need 384 output frames from the first window.
    outputFrames = 383;
    auto diarizer = ready();
    try {
        diarizer->processComplete(audioOfFrames(3072));
        ADD_FAILURE() << "nothing thrown";
    } catch (const SortformerError& error) {
        EXPECT_EQ(error.kind(), SortformerError::Kind::inferenceFailed);
        EXPECT_STREQ(error.what(), "Inference failed: speaker_preds holds 1532 values, the window needs 1536");
    }
    // A short recording needs only its own frames.
    outputFrames = 13;
    EXPECT_EQ(diarizer->processComplete(audioOfFrames(100))->numFrames(), 13);
}

TEST_F(OfflineSortformerDiarizerTest, NothingRunsWithoutModelsOrAudio) {
    OfflineSortformerDiarizer diarizer;
    EXPECT_FALSE(diarizer.isAvailable());
    try {
        diarizer.processComplete(audioOfFrames(100));
        ADD_FAILURE() << "nothing thrown";
    } catch (const SortformerError& error) {
        EXPECT_EQ(error.kind(), SortformerError::Kind::notInitialized);
    }

    diarizer.initialize(bundlePath);
    EXPECT_TRUE(diarizer.isAvailable());
    const auto empty = diarizer.processComplete(std::vector<float>{});
    EXPECT_EQ(empty->numFrames(), 0);
    EXPECT_EQ(empty->config().numSpeakers, 4);
    EXPECT_TRUE(kernel.calls().empty());

    // A failed load keeps the installed set.
    EXPECT_ANY_THROW(diarizer.initialize(folder.path() / "Missing.mlmodelc"));
    EXPECT_TRUE(diarizer.isAvailable());
}

TEST_F(OfflineSortformerDiarizerTest, AudioAtAnotherRateOrInAFileIsConvertedFirst) {
    auto diarizer = ready();
    const std::vector<float> second(16000, 0.1f);
    std::vector<float> doubled(32000, 0.1f);

    diarizer->processComplete(second, 16000.0);
    diarizer->processComplete(doubled, 32000.0);
    const auto path = folder.path() / "second.wav";
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, std::vector<float>(8000, 0.1f));
    diarizer->processComplete(path);

    // One second at 16 kHz is 101 mel frames, whatever rate it came at.
    EXPECT_EQ(melLengths(), (std::vector<double>{101, 101, 101}));
}

} // namespace
} // namespace quorl
