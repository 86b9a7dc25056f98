#include "QuorlAudio/diarization/offline/EmbeddingExtractionRun.hpp"

#include "QuorlAudio/diarization/offline/OfflineEmbeddingExtractor.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/QuorlAudio/diarization/offline/EmbeddingTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/OutputCapture.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quorl {
namespace {

using platform::core::AsyncStream;
using testmodels::EmbeddingTestModels;

// Samples numbered from 1, so a zero always means padding.
std::vector<float> numbered(std::size_t count) {
    std::vector<float> samples(count);
    std::iota(samples.begin(), samples.end(), 1.0f);
    return samples;
}

// A window of `frames` frames whose first speaker speaks throughout and whose two others are silent.
SegmentationChunk chunk(std::int64_t index, double offset, std::size_t frames = 10, double frameDuration = 0.1) {
    return SegmentationChunk{.chunkIndex = index,
                             .chunkOffsetSeconds = offset,
                             .frameDuration = frameDuration,
                             .logProbs = {},
                             .speakerWeights = std::vector<std::vector<float>>(frames, {1.0f, 0.0f, 0.0f})};
}

// The lengths of the runs of consecutive FBANK predictions, the warm-up's first.
std::vector<std::size_t> fbankRuns(const std::vector<std::string>& order) {
    std::vector<std::size_t> runs;
    bool inRun = false;
    for (const auto& model : order) {
        if (model == "fbank") {
            runs.push_back(inRun ? runs.back() + 1 : 1);
            if (inRun) {
                runs.erase(runs.end() - 2);
            }
        }
        inRun = model == "fbank";
    }
    return runs;
}

class EmbeddingExtractionRunTest : public ::testing::Test {
protected:
    // Windows of 1 s at 16 Hz: 16 samples and 10 frames, speakers needing 0.2 s.
    std::vector<TimedEmbedding> extract(const std::vector<SegmentationChunk>& chunks, std::size_t samples,
                                        const OfflineDiarizerConfig& config = testmodels::embeddingConfig(1, 16, 0.2)) {
        auto [stream, continuation] = AsyncStream<SegmentationChunk>::makeStream();
        for (const auto& value : chunks) {
            continuation.yield(value);
        }
        continuation.finish();
        const testsupport::OutputCapture capture;
        auto result = models.extractor(config).extractEmbeddings(ArrayAudioSampleSource(numbered(samples)), stream);
        standardError = capture.text();
        return result;
    }

    std::vector<double> audioOf(std::size_t fbankCall) const {
        return testsupport::valuesOf(*models.fbank.calls().at(fbankCall).inputs.at("audio").multiArrayValue());
    }

    std::vector<std::string> debugLines() const {
        return sink.messages("OfflineEmbedding", platform::sys::LogType::debug);
    }

    testsupport::RecordingLogSink sink;
    EmbeddingTestModels models{{1, 1, 16}, {1, 10}};
    std::string standardError;
};

TEST_F(EmbeddingExtractionRunTest, NoWindowsRunOnlyTheWarmUpAndReportNoMasks) {
    EXPECT_TRUE(extract({}, 64).empty());

    EXPECT_EQ(models.order(), (std::vector<std::string>{"fbank", "embedding"}));
    EXPECT_EQ(debugLines().back(), "Embedding extractor produced no valid speaker masks");
    EXPECT_EQ(standardError, "");
}

TEST_F(EmbeddingExtractionRunTest, SeventyWindowsRunFilterbankBatchesOfThirtyTwoThirtyTwoAndSix) {
    std::vector<SegmentationChunk> chunks;
    for (std::int64_t index = 0; index < 70; ++index) {
        chunks.push_back(chunk(index, 0.5 * static_cast<double>(index)));
    }
    const auto records = extract(chunks, 16 * 40);

    EXPECT_EQ(fbankRuns(models.order()), (std::vector<std::size_t>{1, 32, 32, 6}));
    ASSERT_EQ(records.size(), 70u);
    for (std::size_t index = 0; index < records.size(); ++index) {
        EXPECT_EQ(records[index].chunkIndex, static_cast<std::int64_t>(index));
        EXPECT_DOUBLE_EQ(records[index].endTime, 0.5 * static_cast<double>(index) + 1.0);
    }
    const auto lines = debugLines();
    EXPECT_EQ(lines[lines.size() - 2],
              "Embedding masks generated: 70 (meanActiveFrames=10.00, fallbackMasks=0, emptyMasks=140)");
    EXPECT_TRUE(lines.back().starts_with("Embedding timings: fbankTotal=")) << lines.back();
    EXPECT_TRUE(lines.back().ends_with("ms), batches(fbank=3, plda=3)")) << lines.back();
    EXPECT_EQ(standardError, "[Profiling] " + lines.back() + "\n");
}

TEST_F(EmbeddingExtractionRunTest, EachWindowIsCutFromItsOffsetInTheRecording) {
    struct Case {
        const char* name;
        SegmentationChunk window;
        // The FBANK input's first sample and how many samples are not padding; none: the window is ignored.
        std::optional<std::pair<double, double>> audio;
        double startTime;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases{
        {"an offset that is not finite starts at the window duration times the index", chunk(2, nan), {{33, 16}}, 2.0},
        {"half a sample starts at the later one", chunk(0, 16.5 / 16), {{18, 16}}, 16.5 / 16},
        {"a zero frame duration is the window over the frames", chunk(1, 1.0, 5, 0.0), {{17, 16}}, 1.0},
        {"the recording's end leaves the rest of the window at zero", chunk(3, 3.5), {{57, 8}}, 3.5},
        {"a window at the end of the recording is ignored", chunk(4, 4.0), std::nullopt, 0},
        {"a window without frames is ignored", chunk(0, 0.0, 0), std::nullopt, 0},
    };
    for (const auto& test : cases) {
        const auto before = models.fbank.calls().size();
        const auto records = extract({test.window}, 64);
        if (!test.audio) {
            EXPECT_EQ(models.fbank.calls().size(), before + 1) << test.name;
            EXPECT_TRUE(records.empty()) << test.name;
            continue;
        }
        const auto audio = audioOf(before + 1);
        EXPECT_EQ(audio.front(), test.audio->first) << test.name;
        EXPECT_EQ(static_cast<double>(std::ranges::count_if(audio, [](double value) { return value != 0; })),
                  test.audio->second)
            << test.name;
        ASSERT_EQ(records.size(), 1u) << test.name;
        EXPECT_DOUBLE_EQ(records[0].startTime, test.startTime) << test.name;
        // Every window's speaker spans its whole second, whatever the frame duration it came with.
        EXPECT_DOUBLE_EQ(records[0].endTime - records[0].startTime, 1.0) << test.name;
    }
}

TEST_F(EmbeddingExtractionRunTest, AFinishedSegmentationFeedsItsWindowsWithFrames) {
    SegmentationOutput segmentation;
    for (std::int64_t index = 0; index < 3; ++index) {
        segmentation.speakerWeights.push_back(index == 1 ? std::vector<std::vector<float>>{}
                                                         : chunk(index, 0).speakerWeights);
    }
    segmentation.numChunks = 3;
    segmentation.chunkOffsets = {0.0, 1.0, 2.5};
    segmentation.frameDuration = 0.1;

    const auto records =
        models.extractor(testmodels::embeddingConfig(1, 16, 0.2)).extractEmbeddings(numbered(64), segmentation);

    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].chunkIndex, 0);
    EXPECT_EQ(records[1].chunkIndex, 2);
    EXPECT_DOUBLE_EQ(records[1].startTime, 2.5);
    EXPECT_EQ(models.fbank.calls().size(), 3u);
}

TEST_F(EmbeddingExtractionRunTest, IdenticalWindowsShareEmbeddingsOnlyWithinAFilterbankBatch) {
    auto config = testmodels::embeddingConfig(1, 16, 0.2, 2);
    config.embedding.skipStrategy = OfflineDiarizerConfig::EmbeddingSkipStrategy::maskSimilarity(0.95f);
    const auto records = extract({chunk(0, 0), chunk(1, 0), chunk(2, 0)}, 64, config);

    ASSERT_EQ(records.size(), 3u);
    // Warm-up, window 0, window 2: window 1 reused window 0's embedding.
    EXPECT_EQ(models.embedding.calls().size(), 3u);
    EXPECT_EQ(records[1].embedding256, records[0].embedding256);
    EXPECT_TRUE(debugLines().back().ends_with(", skipped=1/3")) << debugLines().back();
}

TEST_F(EmbeddingExtractionRunTest, StreamErrorsAndCancellationEndTheExtraction) {
    const auto extractor = models.extractor(testmodels::embeddingConfig(1, 16, 0.2, 1));
    const ArrayAudioSampleSource source(numbered(64));
    {
        auto [stream, continuation] = AsyncStream<SegmentationChunk>::makeStream();
        continuation.yield(chunk(0, 0));
        continuation.fail(std::make_exception_ptr(std::runtime_error("segmentation broke")));
        EXPECT_EQ(testsupport::errorText([&] { extractor.extractEmbeddings(source, stream); }), "segmentation broke");
    }
    auto [stream, continuation] = AsyncStream<SegmentationChunk>::makeStream();
    platform::core::CancellationSource cancellation;
    bool cancelled = false;
    const auto fbankBefore = models.fbank.calls().size();
    std::thread consumer([&] {
        const platform::core::Task::Scope scope(cancellation.token());
        try {
            extractor.extractEmbeddings(source, stream);
        } catch (const platform::core::CancellationError&) {
            cancelled = true;
        }
    });
    continuation.yield(chunk(0, 0));
    while (models.embedding.calls().size() < 4) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    cancellation.cancel();
    consumer.join();
    continuation.yield(chunk(1, 1));
    EXPECT_TRUE(cancelled);
    // The warm-up and window 0 only.
    EXPECT_EQ(models.fbank.calls().size(), fbankBefore + 2);
}

} // namespace
} // namespace quorl
