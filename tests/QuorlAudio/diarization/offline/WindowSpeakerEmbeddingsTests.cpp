#include "QuorlAudio/diarization/offline/WindowSpeakerEmbeddings.hpp"

#include "QuorlAudio/diarization/offline/SpeakerMask.hpp"
#include "tests/QuorlAudio/diarization/offline/EmbeddingTestModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testmodels::EmbeddingTestModels;

constexpr std::size_t frames = 589;

// A speaker column: `value` on frames [first, end), 0 elsewhere.
std::vector<float> active(std::size_t first, std::size_t end, float value = 1.0f, std::size_t length = frames) {
    std::vector<float> column(length, 0.0f);
    std::fill(column.begin() + static_cast<std::ptrdiff_t>(first), column.begin() + static_cast<std::ptrdiff_t>(end),
              value);
    return column;
}

// A window of 10 s whose speakers have the given columns.
OfflineChunkBatchInfo window(const std::vector<std::vector<float>>& columns, std::int64_t chunkIndex = 0) {
    OfflineChunkBatchInfo info{.chunkIndex = chunkIndex,
                               .chunkOffsetSeconds = 2.0 * static_cast<double>(chunkIndex),
                               .frameDuration = 10.0 / static_cast<double>(columns.front().size()),
                               .speakerWeights = {}};
    for (std::size_t frame = 0; frame < columns.front().size(); ++frame) {
        auto& row = info.speakerWeights.emplace_back();
        for (const auto& column : columns) {
            row.push_back(column[frame]);
        }
    }
    return info;
}

float sumOf(const std::vector<float>& values) { return std::accumulate(values.begin(), values.end(), 0.0f); }

class WindowSpeakerEmbeddingsTest : public ::testing::Test {
protected:
    WindowSpeakerEmbeddings& speakers(const OfflineDiarizerConfig& config = testmodels::embeddingConfig(10, 16000,
                                                                                                        1.0)) {
        embeddings.reset();
        extractor.emplace(models.extractor(config));
        embeddings.emplace(
            *extractor, [this](const std::vector<std::vector<float>>& pending) { return project(pending); },
            statistics);
        return *embeddings;
    }

    // Rho holds the embedding's weight sum; `dropLast` answers one vector too few.
    std::vector<std::vector<double>> project(const std::vector<std::vector<float>>& pending) {
        flushes.push_back({pending.size(), models.embedding.calls().size()});
        std::vector<std::vector<double>> rho;
        for (std::size_t index = 0; index + (dropLast ? 1 : 0) < pending.size(); ++index) {
            rho.push_back({static_cast<double>(pending[index][3])});
        }
        return rho;
    }

    std::size_t modelRuns() const { return models.embedding.calls().size(); }

    EmbeddingTestModels models{{1, 1, 160000}, {1, frames}};
    std::optional<OfflineEmbeddingExtractor> extractor;
    EmbeddingStatistics statistics;
    std::optional<WindowSpeakerEmbeddings> embeddings;
    // Per flush: the pending count and the embedding model runs so far.
    std::vector<std::pair<std::size_t, std::size_t>> flushes;
    bool dropLast = false;
    std::shared_ptr<platform::ml::MultiArray> features = testsupport::makeArray({1, 3}, {7, 8, 9});
};

TEST_F(WindowSpeakerEmbeddingsTest, MasksAreCleanedOfOverlapAndRejectedWithoutEnoughCleanWeight) {
    struct Case {
        const char* name;
        double minSegment;
        std::vector<std::vector<float>> columns;
        // Per record: speaker, start frame, end frame, sum of frameWeights.
        std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t, float>> records;
        std::int64_t emptyMasks;
        std::int64_t fallbackMasks;
    };
    auto faint = active(0, 300);
    std::fill(faint.begin() + 300, faint.end(), 0.001f);
    const std::vector<Case> cases{
        {"an all-zero column", 1.0, {active(0, 0), active(0, 200)}, {{1, 0, 199, 200.0f}}, 1, 0},
        {"active only in overlap", 1.0, {active(0, 200), active(0, 400)}, {{1, 200, 399, 200.0f}}, 1, 0},
        {"117 clean frames are too few, 118 enough",
         1.0,
         {active(0, 117), active(200, 318)},
         {{1, 200, 317, 118.0f}},
         1,
         0},
        {"0.001 is not activity", 1.0, {faint, std::vector<float>(frames, 0.001f)}, {{0, 0, 299, sumOf(faint)}}, 1, 0},
        {"too little clean weight for 3 s takes the full mask",
         3.0,
         {active(0, 250), active(0, 100)},
         {{0, 0, 249, 250.0f}},
         1,
         1},
    };
    for (const auto& test : cases) {
        statistics = {};
        auto& run = speakers(testmodels::embeddingConfig(10, 16000, test.minSegment));
        run.processChunk(window(test.columns), features);
        run.flush();

        const auto& results = run.results();
        ASSERT_EQ(results.size(), test.records.size()) << test.name;
        for (std::size_t index = 0; index < results.size(); ++index) {
            const auto& [speaker, start, end, weight] = test.records[index];
            EXPECT_EQ(results[index].speakerIndex, speaker) << test.name;
            EXPECT_EQ(results[index].startFrame, start) << test.name;
            EXPECT_EQ(results[index].endFrame, end) << test.name;
            EXPECT_FLOAT_EQ(sumOf(results[index].frameWeights), weight) << test.name;
        }
        EXPECT_EQ(statistics.emptyMasks, test.emptyMasks) << test.name;
        EXPECT_EQ(statistics.fallbackMasks, test.fallbackMasks) << test.name;
        EXPECT_EQ(statistics.maskEvaluations, 2) << test.name;
    }
}

TEST_F(WindowSpeakerEmbeddingsTest, ARecordCarriesItsWindowTimesEmbeddingAndProjection) {
    auto& run = speakers();
    run.processChunk(window({active(0, 0), active(100, 300)}, 3), features);
    run.flush();

    ASSERT_EQ(run.results().size(), 1u);
    const auto& record = run.results()[0];
    EXPECT_EQ(record.chunkIndex, 3);
    EXPECT_DOUBLE_EQ(record.startTime, 6.0 + 100 * 10.0 / 589);
    EXPECT_DOUBLE_EQ(record.endTime, 6.0 + 300 * 10.0 / 589);
    // The FBANK features went in as given; the mask reached the model whole.
    EXPECT_EQ(testsupport::valuesOf(*models.embedding.calls()[0].inputs.at("fbank_features").multiArrayValue()),
              (std::vector<double>{7, 8, 9}));
    EXPECT_EQ(std::vector<float>(record.embedding256.begin(), record.embedding256.begin() + 4),
              (std::vector<float>{7, 8, 9, 200}));
    EXPECT_EQ(record.rho128, std::vector<double>{200});
    EXPECT_DOUBLE_EQ(statistics.activeFrames, 200);
}

TEST_F(WindowSpeakerEmbeddingsTest, MasksOfAnotherFrameCountAreResampledToTheModelsLength) {
    auto& run = speakers(testmodels::embeddingConfig(1, 16000, 0.1));
    run.processChunk(window({active(0, 10, 1.0f, 10)}), features);

    const auto weights = testsupport::valuesOf(*models.embedding.calls()[0].inputs.at("weights").multiArrayValue());
    EXPECT_EQ(weights, std::vector<double>(frames, 1.0));
}

TEST_F(WindowSpeakerEmbeddingsTest, ANearlyUnchangedMaskReusesTheSlotsEmbeddingUntilTheCacheIsCleared) {
    auto config = testmodels::embeddingConfig(10, 16000, 1.0);
    config.embedding.skipStrategy = OfflineDiarizerConfig::EmbeddingSkipStrategy::maskSimilarity(0.95f);
    auto& run = speakers(config);
    const auto first = window({active(0, 200), active(300, 500)});
    run.processChunk(first, features);
    run.processChunk(first, features);
    EXPECT_EQ(modelRuns(), 2u);
    EXPECT_EQ(statistics.skipped, 2);
    // Another frame count: similarity 0.
    run.processChunk(window({active(0, 150, 1.0f, 300), active(0, 0, 1.0f, 300)}), features);
    EXPECT_EQ(modelRuns(), 3u);
    run.clearSkipCache();
    run.processChunk(first, features);
    EXPECT_EQ(modelRuns(), 5u);
    run.flush();
    EXPECT_EQ(run.results()[2].embedding256, run.results()[0].embedding256);
    EXPECT_NE(run.results()[6].embedding256, run.results()[0].embedding256);

    EXPECT_FLOAT_EQ(SpeakerMask::maskCosineSimilarity(std::vector<float>{1, 0}, std::vector<float>{1, 1}),
                    1.0f / std::sqrt(2.0f));
    EXPECT_EQ(SpeakerMask::maskCosineSimilarity(std::vector<float>{0, 0}, std::vector<float>{0, 0}), 0.0f);
}

TEST_F(WindowSpeakerEmbeddingsTest, WithoutASkipStrategyEverySpeakerRunsTheModel) {
    auto& run = speakers();
    const auto same = window({active(0, 200)});
    run.processChunk(same, features);
    run.processChunk(same, features);
    EXPECT_EQ(modelRuns(), 2u);
    EXPECT_EQ(statistics.skipped, 0);
}

TEST_F(WindowSpeakerEmbeddingsTest, AFullPldaBatchIsProjectedInsideTheWindowThatFillsIt) {
    auto& run = speakers();
    const auto three = std::vector<std::vector<float>>{active(0, 196), active(196, 392), active(392, 589)};
    for (std::int64_t index = 0; index < 13; ++index) {
        run.processChunk(window(three, index), features);
    }
    run.processChunk(window({active(0, 300)}, 13), features);
    // The 32nd speaker is the second of window 10; the flush came before its third ran.
    ASSERT_EQ(flushes, (std::vector<std::pair<std::size_t, std::size_t>>{{32, 32}}));
    EXPECT_TRUE(run.hasPending());
    run.flush();
    EXPECT_EQ(flushes.back().first, 8u);
    ASSERT_EQ(run.results().size(), 40u);
    EXPECT_EQ(run.results()[32].chunkIndex, 10);
    EXPECT_EQ(run.results()[32].speakerIndex, 2);
    EXPECT_EQ(statistics.pldaBatches, 2);
    EXPECT_EQ(statistics.pldaEmbeddings, 40);
}

TEST_F(WindowSpeakerEmbeddingsTest, BrokenInputAndProjectionsEndTheRun) {
    auto& run = speakers();
    dropLast = true;
    for (std::int64_t index = 0; index < 31; ++index) {
        run.processChunk(window({active(0, 200)}, index), features);
    }
    EXPECT_EQ(testsupport::errorText([&] { run.processChunk(window({active(0, 200)}, 31), features); }),
              "Processing failed: PldaRho batch size mismatch (expected 32, got 31)");

    auto ragged = window({active(0, 200), active(300, 500)}, 4);
    ragged.speakerWeights[7].pop_back();
    EXPECT_EQ(testsupport::errorText([&] { run.processChunk(ragged, features); }),
              "Processing failed: Speaker weights of window 4 differ in length (frame 7 has 1, frame 0 has 2)");
}

} // namespace
} // namespace quorl
