#include "QuorlAudio/tts/supertonic3/Supertonic3LatentSampler.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace quorl {
namespace {

namespace sampler = Supertonic3LatentSampler;

constexpr sampler::Geometry defaults{
    .sampleRate = 44100, .baseChunkSize = 512, .chunkCompressFactor = 6, .latentDim = 24};

// Draws the values in turn, round and round.
sampler::RandomSource cycling(std::vector<float> draws) {
    return [draws, next = std::size_t{0}]() mutable { return draws[next++ % draws.size()]; };
}

TEST(Supertonic3LatentSamplerTest, TheLongestDurationSizesTheLatentAndShorterItemsAreSilencedAfterTheirOwn) {
    const std::vector<float> durations{2.0F, 0.05F};
    const auto latent = sampler::sampleNoisyLatent(durations, defaults, cycling({0.5F, 0.0F}));

    EXPECT_EQ(latent.dims, (sampler::Dims{.bsz = 2, .channels = 144, .length = 29}));
    ASSERT_EQ(latent.noisyLatent.size(), 2U * 144 * 29);
    const float value = std::sqrt(-2.0F * std::log(0.5F));
    EXPECT_FLOAT_EQ(latent.noisyLatent[0], value);
    EXPECT_FLOAT_EQ(latent.noisyLatent[143 * 29 + 28], value);
    const std::size_t second = 144 * 29;
    EXPECT_FLOAT_EQ(latent.noisyLatent[second + 29], value);
    EXPECT_EQ(latent.noisyLatent[second + 1], 0.0F);
    EXPECT_EQ(latent.noisyLatent[second + 29 + 1], 0.0F);

    std::vector<float> mask(58, 0.0F);
    std::fill_n(mask.begin(), 29, 1.0F);
    mask[29] = 1.0F;
    EXPECT_EQ(latent.latentMask, mask);
}

TEST(Supertonic3LatentSamplerTest, EachValueTakesTwoDrawsAndTheCosineBranch) {
    const std::vector<float> durations{0.05F};
    const auto latent = sampler::sampleNoisyLatent(
        durations, {.sampleRate = 44100, .baseChunkSize = 512, .chunkCompressFactor = 6, .latentDim = 1},
        cycling({0.5F, 0.25F, 0.0F, 0.5F, 1.0F, 0.0F}));
    ASSERT_EQ(latent.noisyLatent.size(), 6U);
    EXPECT_NEAR(latent.noisyLatent[0], 0.0F, 1e-6F);
    EXPECT_FLOAT_EQ(latent.noisyLatent[1], -std::sqrt(-2.0F * std::log(0.0001F)));
    EXPECT_EQ(latent.noisyLatent[2], 0.0F);
}

TEST(Supertonic3LatentSamplerTest, NoDurationsGiveNothing) {
    const auto latent = sampler::sampleNoisyLatent({}, defaults, cycling({0.5F}));
    EXPECT_TRUE(latent.noisyLatent.empty());
    EXPECT_TRUE(latent.latentMask.empty());
    EXPECT_EQ(latent.dims, (sampler::Dims{.bsz = 0, .channels = 144, .length = 0}));
}

TEST(Supertonic3LatentSamplerTest, LengthsAndMasks) {
    EXPECT_EQ(sampler::sampleCount(2.0F, 44100), 88200);
    EXPECT_EQ(sampler::sampleCount(-1.0F, 44100), 0);
    EXPECT_EQ(sampler::sampleCount(1e30F, 44100), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(sampler::latentLength(2.0F, defaults), 29);
    EXPECT_EQ(sampler::latentLength(0.05F, defaults), 1);
    EXPECT_EQ(sampler::latentLength(0.0F, defaults), 0);

    const std::vector<std::int64_t> lengths{1, 5, 0};
    EXPECT_EQ(sampler::mask(lengths, 3), (std::vector<float>{1, 0, 0, 1, 1, 1, 0, 0, 0}));
}

} // namespace
} // namespace quorl
