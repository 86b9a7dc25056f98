#include "QuorlAudio/diarization/streaming/SortformerStateUpdater.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

constexpr int S = SortformerConfig::numSpeakers;
constexpr int D = SortformerConfig::preEncoderDims;

// Per-frame values of a model step: the embedding value of chunk frame t, and the probability of speaker s in
// output frame t (counting cache, FIFO and chunk frames together).
struct Step {
    int leftContext = 0;
    int core = 0;
    int rightContext = 0;
    std::function<float(int)> embedding = [](int) { return 0.0F; };
    std::function<float(int, int)> probability = [](int, int) { return 0.9F; };
};

StreamingUpdateResult run(const SortformerStateUpdater& updater, SortformerStreamingState& state, const Step& step) {
    const int chunkFrames = step.leftContext + step.core + step.rightContext;
    std::vector<float> chunk(static_cast<std::size_t>(chunkFrames * D));
    for (int t = 0; t < chunkFrames; ++t) {
        std::fill_n(chunk.begin() + t * D, D, step.embedding(t));
    }
    const int frames = state.spkcacheLength + state.fifoLength + chunkFrames;
    std::vector<float> preds(static_cast<std::size_t>(frames * S));
    for (int t = 0; t < frames; ++t) {
        for (int s = 0; s < S; ++s) {
            preds[static_cast<std::size_t>(t * S + s)] = step.probability(t, s);
        }
    }
    return updater.streamingUpdate(state, chunk, preds, step.leftContext, step.rightContext);
}

std::vector<float> iota(int begin, int end) {
    std::vector<float> values(static_cast<std::size_t>(end - begin));
    std::iota(values.begin(), values.end(), static_cast<float>(begin));
    return values;
}

TEST(SortformerStateUpdaterTests, DefaultPresetConfirmsCoresAndCompressesTheCacheOnItsFirstOverflow) {
    const SortformerConfig& config = SortformerConfig::defaultConfig();
    const SortformerStateUpdater updater(config);
    SortformerStreamingState state(config);
    const auto flatIndex = [](int t, int s) { return static_cast<float>(t * S + s); };

    const auto first = run(updater, state, {.core = 6, .rightContext = 7, .probability = flatIndex});
    EXPECT_EQ(first.confirmed, iota(0, 24));
    EXPECT_EQ(first.tentative, iota(24, 52));
    EXPECT_EQ(state.fifoLength, 6);

    const auto second = run(updater, state, {.leftContext = 1, .core = 6, .rightContext = 7, .probability = flatIndex});
    std::vector<float> fifoPreds = iota(0, 24);
    fifoPreds.insert(fifoPreds.end(), second.confirmed.begin(), second.confirmed.end());
    EXPECT_EQ(state.fifoPreds, fifoPreds);
    EXPECT_EQ(second.confirmed, iota(28, 52));
    EXPECT_EQ(second.tentative, iota(52, 80));
    EXPECT_EQ(second.confirmedFrameCount(), 6);
    EXPECT_EQ(second.tentativeFrameCount(), 7);
    EXPECT_EQ(state.fifoLength, 12);

    const Step later{.leftContext = 1, .core = 6, .rightContext = 7};
    for (int step = 3; step <= 7; ++step) {
        run(updater, state, later);
    }
    EXPECT_EQ(state.fifoLength, 11);
    EXPECT_EQ(state.spkcacheLength, 31);
    EXPECT_FALSE(state.spkcachePreds.has_value());

    std::vector<int> cacheLengths;
    while (!state.spkcachePreds) {
        run(updater, state, later);
        if (cacheLengths.empty() || cacheLengths.back() != state.spkcacheLength) {
            cacheLengths.push_back(state.spkcacheLength);
        }
    }
    EXPECT_EQ(cacheLengths, (std::vector<int>{31, 62, 93, 124, 155, 186, 188}));
    EXPECT_EQ(state.spkcache.size(), static_cast<std::size_t>(188 * D));
    ASSERT_EQ(state.spkcachePreds->size(), static_cast<std::size_t>(188 * S));
    int silenceSlots = 0;
    for (int j = 0; j < 188; ++j) {
        const auto row = state.spkcachePreds->begin() + j * S;
        silenceSlots += std::all_of(row, row + S, [](float p) { return p == 0.0F; }) ? 1 : 0;
    }
    EXPECT_EQ(silenceSlots, 12);
}

TEST(SortformerStateUpdaterTests, InputsTooShortForTheStateAreRefusedWithTheirNumbers) {
    const SortformerConfig& config = SortformerConfig::defaultConfig();
    const SortformerStateUpdater updater(config);
    SortformerStreamingState state(config);
    run(updater, state, {.core = 6, .rightContext = 7});
    const std::vector<float> chunk(14 * D);
    const struct {
        std::size_t predsCount;
        std::size_t chunkCount;
        SortformerError::Kind kind;
        std::string detail;
    } cases[] = {
        {23, chunk.size(), SortformerError::Kind::insufficientPredsLength,
         "Not enough predictions for FIFO in streaming update: 24 > 23"},
        {80, 7 * D, SortformerError::Kind::insufficientChunkLength,
         "Not enough chunk embeddings for streaming update: 4096 > 3584"},
        {51, chunk.size(), SortformerError::Kind::insufficientPredsLength,
         "Not enough predictions for chunk in streaming update: 52 > 51"},
        {79, chunk.size(), SortformerError::Kind::insufficientPredsLength,
         "Not enough predictions for tentative predictions in streaming update: 80 > 79"},
    };
    for (const auto& c : cases) {
        SortformerStreamingState copy = state;
        const std::vector<float> preds(c.predsCount, 0.9F);
        try {
            updater.streamingUpdate(copy, std::span(chunk).first(c.chunkCount), preds, 1, 7);
            ADD_FAILURE() << c.detail;
        } catch (const SortformerError& error) {
            EXPECT_EQ(error.kind(), c.kind);
            EXPECT_EQ(error.detail(), c.detail);
            EXPECT_EQ(copy.fifoLength, 6);
            EXPECT_EQ(copy.fifo.size(), static_cast<std::size_t>(6 * D));
        }
    }
}

TEST(SortformerStateUpdaterTests, AChunkOfContextsOnlyConfirmsNothingAndAPartialFrameIsIgnored) {
    const SortformerConfig& config = SortformerConfig::defaultConfig();
    const SortformerStateUpdater updater(config);
    SortformerStreamingState state(config);
    run(updater, state, {.core = 6, .rightContext = 7});

    const auto contextsOnly = run(updater, state, {.leftContext = 1, .rightContext = 7});
    EXPECT_TRUE(contextsOnly.confirmed.empty());
    EXPECT_EQ(contextsOnly.tentativeFrameCount(), 7);
    EXPECT_EQ(state.fifoLength, 6);

    std::vector<float> chunk(14 * D + 5);
    const std::vector<float> preds((6 + 14) * S, 0.9F);
    const auto partial = updater.streamingUpdate(state, chunk, preds, 1, 7);
    EXPECT_EQ(partial.confirmedFrameCount(), 6);
    EXPECT_EQ(state.fifo.size(), static_cast<std::size_t>(12 * D));
}

TEST(SortformerStateUpdaterTests, PoppedFramesBelowTheSilenceThresholdUpdateTheMeanEmbedding) {
    // No FIFO: every core frame goes straight to the cache through the silence profile.
    const SortformerConfig config(std::nullopt, SortformerModelPrecision::fp16, 2, 0, 0, 0, 188, 2);
    const SortformerStateUpdater updater(config);
    const struct {
        float secondFrameSum;
        float mean;
        int count;
    } cases[] = {{0.19F, 2.0F, 2}, {0.2F, 1.0F, 1}};
    for (const auto& c : cases) {
        SortformerStreamingState state(config);
        run(updater, state,
            {.core = 2,
             .embedding = [](int t) { return t == 0 ? 1.0F : 3.0F; },
             .probability = [&](int t, int s) { return s == 0 ? (t == 0 ? 0.19F : c.secondFrameSum) : 0.0F; }});
        EXPECT_EQ(state.spkcacheLength, 2);
        EXPECT_EQ(state.silenceFrameCount, c.count);
        EXPECT_EQ(state.meanSilenceEmbedding, std::vector<float>(D, c.mean));
    }
}

TEST(SortformerStateUpdaterTests, CompressionKeepsEachSpeakersBestFramesThenItsSilenceSlots) {
    // 17 frames into a 16-slot cache; only speaker 0 ever speaks.
    const SortformerConfig config(std::nullopt, SortformerModelPrecision::fp16, 17, 0, 0, 0, 16, 17);
    const SortformerStateUpdater updater(config);
    SortformerStreamingState state(config);
    state.meanSilenceEmbedding.assign(D, -1.0F);
    run(updater, state,
        {.core = 17,
         .embedding = [](int t) { return static_cast<float>(t); },
         .probability = [](int, int s) { return s == 0 ? 0.9F : 0.0F; }});

    ASSERT_EQ(state.spkcacheLength, 16);
    // Frame 0 wins the boost, frame 16 the recency bonus, frames 1 and 2 the ties by time.
    const std::vector<float> expected = {0, 1, 2, 16, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(state.spkcache[static_cast<std::size_t>(j * D)], expected[static_cast<std::size_t>(j)]) << j;
        const float speaker0 = (*state.spkcachePreds)[static_cast<std::size_t>(j * S)];
        EXPECT_EQ(speaker0, j < 4 ? 0.9F : 0.0F) << j;
    }
}

TEST(SortformerStateUpdaterTests, TopKSelectionPrefersTheLowerSpeakerOnTiesAndMarksPlaceholders) {
    const SortformerConfig config(std::nullopt, SortformerModelPrecision::fp16, 1, 0, 0, 0, 16, 1, 0.2F, 1);
    const SortformerStateUpdater updater(config);
    EXPECT_TRUE(updater.getTopKIndices({}, 0, 0).indices.empty());
    EXPECT_TRUE(updater.getTopKIndices({}, 0, 0).isDisabled.empty());

    // Two real frames and one placeholder frame; speakers 1 and 2 tie in frame 1.
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> scores = {-inf, -inf, -inf, -inf, 0.0F, 1.0F, 1.0F, -inf, inf, inf, inf, inf};
    const TopKSelection selection = updater.getTopKIndices(scores, 3, 5);
    // Speaker 1's frame sorts between speaker 0's placeholder and speaker 1's; speaker 2 lost the tie.
    EXPECT_EQ(selection.indices, (std::vector<int>{0, 1, 0, 0, 0}));
    EXPECT_EQ(selection.isDisabled, (std::vector<bool>{true, false, true, true, true}));
}

} // namespace
} // namespace quorl
