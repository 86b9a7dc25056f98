#include "QuorlAudio/asr/other/ParaformerCif.hpp"
#include "QuorlAudio/asr/other/ParaformerConfig.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

TEST(ParaformerConfigTests, AFrameCountTakesTheFirstBucketThatHoldsItOrTheLargest) {
    const struct {
        int frames;
        int bucket;
    } cases[] = {{0, 128}, {1, 128}, {128, 128}, {129, 256}, {512, 512}, {513, 1024}, {1800, 1800}, {5000, 1800}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParaformerConfig::pickEncoderBucket(c.frames), c.bucket) << c.frames;
    }
}

// Rows of width two: r0 = (1, 10), r1 = (2, 20), r2 = (3, 30), r3 = (4, 40).
FeatureRows fourRows(std::size_t count) {
    FeatureRows rows{.width = 2, .values = {}};
    for (std::size_t row = 0; row < count; ++row) {
        const auto value = static_cast<float>(row + 1);
        rows.values.insert(rows.values.end(), {value, value * 10});
    }
    return rows;
}

TEST(ParaformerCifTests, WeightsFireEmbeddingsAtTheThresholdAndTheTailFlushesOnlyANearlyFullOne) {
    const struct {
        const char* name;
        std::vector<float> alphas;
        std::vector<float> embeddings;
    } cases[] = {
        // Fires at the fourth frame (1.2): 0.3 r0 + 0.3 r1 + 0.3 r2 + 0.1 r3; 0.2 r3 is left, and 0.65 after
        // the tail is not enough.
        {.name = "four of 0.3", .alphas = {0.3f, 0.3f, 0.3f, 0.3f}, .embeddings = {2.2f, 22.0f}},
        // 0.6 and the tail make 1.05: the pending 0.3 r0 + 0.3 r1 comes out as it is.
        {.name = "two of 0.3", .alphas = {0.3f, 0.3f}, .embeddings = {0.9f, 9.0f}},
        {.name = "two of 0.2", .alphas = {0.2f, 0.2f}, .embeddings = {}},
        // 2.5 fires r0 once and carries 1.5 r0, which the next frame fires with a used part of -0.5.
        {.name = "a weight above two", .alphas = {2.5f, 0.0f}, .embeddings = {1.0f, 10.0f, 0.5f, 5.0f}},
        {.name = "no weights", .alphas = {}, .embeddings = {}},
    };
    for (const auto& c : cases) {
        const auto fired = ParaformerCif::integrateAndFire(fourRows(c.alphas.size()), c.alphas);
        ASSERT_EQ(fired.values.size(), c.embeddings.size()) << c.name;
        for (std::size_t index = 0; index < c.embeddings.size(); ++index) {
            EXPECT_NEAR(fired.values[index], c.embeddings[index], 1e-5) << c.name << " at " << index;
        }
        EXPECT_EQ(fired.width, c.alphas.empty() ? 512u : 2u) << c.name;
    }
}

} // namespace
} // namespace quorl
