#include "QuorlAudio/diarization/offline/OfflineSegmentationProcessor.hpp"

#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"
#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/OutputCapture.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::ScriptedKernel;

// Samples numbered from 1, so a zero always means padding.
ArrayAudioSampleSource numbered(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = static_cast<float>(index + 1);
    }
    return ArrayAudioSampleSource(std::move(samples));
}

// A window of 16 samples at 16 Hz, stepped by 8.
OfflineDiarizerConfig smallWindows() {
    auto config = OfflineDiarizerConfig::defaultConfig();
    config.segmentation.windowDurationSeconds = 1.0;
    config.segmentation.sampleRate = 16;
    config.segmentation.stepRatio = 0.5;
    return config;
}

class OfflineSegmentationTest : public ::testing::Test {
protected:
    // The score of class k in frame f of row r of a batch.
    using Score = std::function<float(std::size_t row, std::size_t frame, std::size_t classIndex)>;

    // Every prediction answers "segments" [windows, frames, classes] from `score`, or what `answer` gives.
    ScriptedKernel::Outputs predict(const ScriptedKernel::Call& call) const {
        const auto windows = call.inputs.at("audio").multiArrayValue()->shape()[0];
        if (failWarmUp && call.index == 0) {
            throw std::runtime_error("not ready");
        }
        if (answer) {
            return answer(windows);
        }
        auto scores = std::make_shared<MultiArray>(MultiArray::Shape{windows, frames, classes}, DataType::float32);
        for (std::size_t index = 0; index < scores->count(); ++index) {
            scores->setValue(index, score(index / (frames * classes), index / classes % frames, index % classes));
        }
        return {{"segments", FeatureValue(scores)}};
    }

    SegmentationOutput process(const AudioSampleSource& source, const OfflineDiarizerConfig& config,
                               const OfflineSegmentationProcessor::ChunkHandler& handler = {}) {
        return processor.process(source, *model, config, handler);
    }

    // The "audio" input of a prediction, read through its strides, and its shape.
    std::vector<double> audioOf(std::size_t call) const {
        return testsupport::valuesOf(*kernel.calls()[call].inputs.at("audio").multiArrayValue());
    }
    MultiArray::Shape audioShapeOf(std::size_t call) const {
        return kernel.calls()[call].inputs.at("audio").multiArrayValue()->shape();
    }

    std::vector<std::string> debugLines() const {
        return sink.messages("OfflineSegmentation", platform::sys::LogType::debug);
    }

    std::size_t frames = 4;
    std::size_t classes = 7;
    // Frame f is won by class f.
    Score score = [](std::size_t, std::size_t frame, std::size_t classIndex) {
        return classIndex == frame ? 2.0f : 0.0f;
    };
    std::function<ScriptedKernel::Outputs(std::size_t windows)> answer;
    bool failWarmUp = false;
    ScriptedKernel kernel{"offline-segmentation", [this](const ScriptedKernel::Call& call) { return predict(call); }};
    testsupport::TemporaryFolder folder;
    testsupport::RecordingLogSink sink;
    std::shared_ptr<platform::ml::Model> model = platform::ml::Model::load(testsupport::writeModelBundle(
        folder.path(), "Segmentation.mlmodelc",
        testsupport::modelManifest(kernel.name(), {[] {
                                       auto audio = testsupport::multiArrayFeature("audio", {1, 1, 160000});
                                       audio["shapeRange"] = {{1, 32}, {1, 1}, {1, nullptr}};
                                       return audio;
                                   }()},
                                   {testsupport::multiArrayFeature("segments", {1, 589, 7})})));
    OfflineSegmentationProcessor processor;
};

TEST_F(OfflineSegmentationTest, TenSecondsMakeFiveZeroPaddedWindowsAfterAZeroWarmUp) {
    const auto output = process(numbered(160000), OfflineDiarizerConfig::defaultConfig());

    ASSERT_EQ(kernel.calls().size(), 2u);
    EXPECT_EQ(audioShapeOf(0), (MultiArray::Shape{1, 1, 160000}));
    const auto warmUp = audioOf(0);
    EXPECT_TRUE(std::ranges::all_of(warmUp, [](double value) { return value == 0; }));
    EXPECT_EQ(audioShapeOf(1), (MultiArray::Shape{5, 1, 160000}));
    const auto audio = audioOf(1);
    for (std::size_t window = 0; window < 5; ++window) {
        for (std::size_t sample = 0; sample < 160000; ++sample) {
            const std::size_t position = window * 32000 + sample;
            const double expected = position < 160000 ? static_cast<double>(position + 1) : 0.0;
            ASSERT_EQ(audio[window * 160000 + sample], expected) << window << ", " << sample;
        }
    }
    EXPECT_EQ(output.numChunks, 5);
    EXPECT_EQ(output.chunkOffsets, (std::vector<double>{0, 2, 4, 6, 8}));
    EXPECT_EQ(output.numFrames, 4);
    EXPECT_EQ(output.numSpeakers, 3);
    EXPECT_EQ(output.frameDuration, 2.5);
}

TEST_F(OfflineSegmentationTest, ThirtyThreeWindowsRunAsBatchesOfThirtyTwoAndOne) {
    std::vector<std::int64_t> indices;
    const auto output =
        process(numbered(32 * 32000 + 1), OfflineDiarizerConfig::defaultConfig(), [&](const SegmentationChunk& chunk) {
            indices.push_back(chunk.chunkIndex);
            return SegmentationChunkContinuation::proceed;
        });

    ASSERT_EQ(kernel.calls().size(), 3u);
    EXPECT_EQ(audioShapeOf(1)[0], 32u);
    EXPECT_EQ(audioShapeOf(2)[0], 1u);
    ASSERT_EQ(indices.size(), 33u);
    for (std::size_t index = 0; index < indices.size(); ++index) {
        EXPECT_EQ(indices[index], static_cast<std::int64_t>(index));
    }
    EXPECT_EQ(output.numChunks, 33);
    EXPECT_EQ(output.chunkOffsets.back(), 64.0);
    // The pool keeps each batch size's array under its own key, as the last batch of that size left it.
    auto& pool = *processor.memoryOptimizer();
    const auto last = pool.getPooledBuffer("offline_segmentation_audio_1_160000", {1, 1, 160000}, DataType::float32);
    EXPECT_EQ(last->value(0), 1024001.0);
    EXPECT_EQ(last->value(1), 0.0);
    const auto full = pool.getPooledBuffer("offline_segmentation_audio_32_160000", {32, 1, 160000}, DataType::float32);
    EXPECT_EQ(full->value(31 * 160000), 31.0 * 32000 + 1);
}

TEST_F(OfflineSegmentationTest, WindowRowsFollowThePaddedRowStrideOfAnyLength) {
    auto config = smallWindows();
    config.segmentation.windowDurationSeconds = 17.0 / 16.0;

    const auto output = process(numbered(40), config);

    // 17 samples per window, stepped by 8: starts 0, 8, ..., 32.
    EXPECT_EQ(output.numChunks, 5);
    const auto audio = audioOf(1);
    for (std::size_t window = 0; window < 5; ++window) {
        for (std::size_t sample = 0; sample < 17; ++sample) {
            const std::size_t position = window * 8 + sample;
            ASSERT_EQ(audio[window * 17 + sample], position < 40 ? static_cast<double>(position + 1) : 0.0)
                << window << ", " << sample;
        }
    }
}

TEST_F(OfflineSegmentationTest, FramesDecodeToLogProbabilitiesAndPowersetSpeakers) {
    frames = 9;
    classes = 9;
    // Frame 8 is won by class 8, beyond the table; frame 1 ties classes 1 and 5.
    score = [](std::size_t, std::size_t frame, std::size_t classIndex) {
        return classIndex == frame || (frame == 1 && classIndex == 5) ? 3.0f : 1.0f;
    };

    const auto output = process(numbered(20), smallWindows());

    const std::vector<std::vector<float>> expectedWeights{
        {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 1, 1},
    };
    ASSERT_EQ(output.numChunks, 3);
    EXPECT_EQ(output.speakerWeights[2], expectedWeights);
    const auto& row = output.logProbs[0][0];
    ASSERT_EQ(row.size(), 9u);
    const float lse = std::log(std::exp(3.0f) + 8 * std::exp(1.0f));
    EXPECT_NEAR(row[0], 3.0f - lse, 1e-5);
    EXPECT_NEAR(row[4], 1.0f - lse, 1e-5);
    // Three windows in one batch: the error line once.
    const auto errors = sink.messages("OfflineSegmentation", platform::sys::LogType::error);
    EXPECT_EQ(errors,
              std::vector<std::string>{"Segmentation model returned 9 classes but only 8 powerset entries available"});
}

TEST_F(OfflineSegmentationTest, PaddedAndHalfPrecisionOutputsReadLikeDenseOnes) {
    frames = 3;
    score = [](std::size_t row, std::size_t frame, std::size_t classIndex) {
        return classIndex == (row + frame) % 7 ? 1.5f : -0.5f;
    };
    const auto dense = process(numbered(20), smallWindows());
    for (const DataType type : {DataType::float16, DataType::float32}) {
        answer = [&](std::size_t windows) {
            // Rows of 7 classes padded to 16 with values that would win if they were read.
            const auto backing = std::make_shared<MultiArray>(MultiArray::Shape{windows, frames, 16}, type);
            for (std::size_t index = 0; index < backing->count(); ++index) {
                backing->setValue(index, 100.0);
            }
            auto padded = std::make_shared<MultiArray>(backing->storage(), backing->dataPointer(),
                                                       MultiArray::Shape{windows, frames, classes}, type,
                                                       MultiArray::Shape{frames * 16, 16, 1});
            for (std::size_t index = 0; index < padded->count(); ++index) {
                padded->setValue(index, score(index / (frames * classes), index / classes % frames, index % classes));
            }
            return ScriptedKernel::Outputs{{"segments", FeatureValue(padded)}};
        };

        const auto read = process(numbered(20), smallWindows());

        EXPECT_EQ(read.speakerWeights, dense.speakerWeights) << platform::ml::rawValue(type);
        EXPECT_EQ(read.logProbs, dense.logProbs) << platform::ml::rawValue(type);
    }
}

TEST_F(OfflineSegmentationTest, AStoppingHandlerIsCalledOnceWhileEveryWindowIsKept) {
    int calls = 0;

    const auto output = process(numbered(40), smallWindows(), [&](const SegmentationChunk& chunk) {
        ++calls;
        EXPECT_EQ(chunk.chunkIndex, 0);
        EXPECT_EQ(chunk.speakerWeights.size(), frames);
        return SegmentationChunkContinuation::stop;
    });

    EXPECT_EQ(calls, 1);
    EXPECT_EQ(output.numChunks, 5);
    EXPECT_EQ(output.chunkOffsets, (std::vector<double>{0, 0.5, 1, 1.5, 2}));
}

TEST_F(OfflineSegmentationTest, TheStatisticsAreLoggedAndTheTimingsReachStandardError) {
    std::string captured;
    {
        const testsupport::OutputCapture capture;
        process(numbered(16), smallWindows());
        captured = capture.text();
    }

    EXPECT_TRUE(captured.starts_with("[Profiling] Segmentation timings: windows=2 prepareTotal=")) << captured;
    EXPECT_TRUE(captured.ends_with("ms)\n")) << captured;
    const auto lines = debugLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Offline segmentation: chunkSize=16, stepSize=8, totalSamples=16");
    // Frames won by classes 0 to 3 in each of the two windows: speakers 0, 1, 2 once each.
    EXPECT_EQ(lines[1], "Chunk 0 speaker frame counts: [1, 1, 1]");
    EXPECT_EQ(lines[2],
              "Segmentation histogram: speechFrames=6 totalFrames=8 speechRatio=0.750 avgNonSpeechProb=0.194");
    EXPECT_EQ(lines[3], "Segmentation mask speech frames = 6 / 8 (ratio=0.750, speechSeconds\u22481.5s)");
    EXPECT_EQ(lines[4], "Winning speaker probability stats: count=6, avg=0.552, min=0.552, max=0.552");
    EXPECT_EQ(lines[5], "Winning probability distribution \u22650.500:6, \u22650.700:0, \u22650.800:0, \u22650.900:0, "
                        "\u22650.950:0, \u22650.980:0, \u22650.990:0, \u22650.995:0, \u22650.999:0");
    EXPECT_EQ(lines[6], "Empty-class probability on speech frames: avg=0.075");
    EXPECT_TRUE(lines[7].starts_with("Segmentation timings: windows=2 prepareTotal=")) << lines[7];
}

TEST_F(OfflineSegmentationTest, AFailedWarmUpIsOnlyLogged) {
    failWarmUp = true;

    const auto output = process(numbered(20), smallWindows());

    EXPECT_EQ(output.numChunks, 3);
    EXPECT_EQ(debugLines()[1], "Segmentation warmup skipped due to error: not ready");
}

TEST_F(OfflineSegmentationTest, ACancelledTaskStopsAfterTheWarmUp) {
    platform::core::CancellationSource cancellation;
    cancellation.cancel();
    const platform::core::Task::Scope scope(cancellation.token());

    EXPECT_THROW(process(numbered(20), smallWindows()), platform::core::CancellationError);
    EXPECT_EQ(kernel.calls().size(), 1u);
}

TEST_F(OfflineSegmentationTest, UnreadableOutputsAndEmptySourcesAreRefused) {
    EXPECT_EQ(testsupport::errorText([this] { process(ArrayAudioSampleSource({}), smallWindows()); }),
              "No speech detected in audio");
    const auto array = [](MultiArray::Shape shape) {
        return FeatureValue(std::make_shared<MultiArray>(std::move(shape), DataType::float32));
    };
    const std::vector<std::pair<ScriptedKernel::Outputs, std::string>> cases{
        {{{"a", FeatureValue(std::int64_t{1})}, {"b", FeatureValue(std::string("x"))}},
         "Processing failed: Segmentation model missing expected multiarray output. Available: [\"a\", \"b\"]"},
        {{{"segments", array({1, 2, 3, 4})}}, "Processing failed: Unexpected segmentation output shape [1, 2, 3, 4]"},
        {{{"log_probs", array({4, 7})}}, "Processing failed: Segmentation output holds 1 windows but 3 were sent"},
        {{{"other", array({2, 4, 7})}}, "Processing failed: Segmentation output holds 2 windows but 3 were sent"},
        {{{"segments", array({3, 0, 7})}},
         "Processing failed: Segmentation output shape [3, 0, 7] holds no frame or no class"},
    };
    for (const auto& [outputs, description] : cases) {
        answer = [&](std::size_t) { return outputs; };
        EXPECT_EQ(testsupport::errorText([&] { process(numbered(20), smallWindows()); }), description);
    }
}

} // namespace
} // namespace quorl
