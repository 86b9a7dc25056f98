#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Sizes and fills the Supertonic-3 vector estimator's initial noise latent and its mask from predicted durations.
namespace quorl::Supertonic3LatentSampler {

// A draw uniform in [0, 1).
using RandomSource = std::function<float()>;

// The configuration's geometry of the latent.
struct Geometry {
    std::int64_t sampleRate = 0;
    std::int64_t baseChunkSize = 0;
    std::int64_t chunkCompressFactor = 0;
    std::int64_t latentDim = 0;
};

struct Dims {
    std::int64_t bsz = 0;
    // latentDim × chunkCompressFactor.
    std::int64_t channels = 0;
    // The latent frames of the longest item.
    std::int64_t length = 0;

    bool operator==(const Dims&) const = default;
};

struct NoisyLatent {
    // bsz × channels × length values, item outermost, then channel, then frame; 0 past an item's own length.
    std::vector<float> noisyLatent;
    // bsz × length values: 1 inside an item's own length, 0 after.
    std::vector<float> latentMask;
    Dims dims;
};

// The system's random number generator, seeded once per thread from the system's entropy.
RandomSource systemRandom();

// The audio samples of `duration` seconds: computed in 32-bit float and truncated; 0 for no positive count, held
// at the largest integer for one too large.
std::int64_t sampleCount(float duration, std::int64_t sampleRate);

// The latent frames that hold `duration` seconds: its samples divided by baseChunkSize × chunkCompressFactor,
// rounded up.
std::int64_t latentLength(float duration, const Geometry& geometry);

// Standard normal noise by the cosine branch of Box–Muller, two fresh draws per value, for the longest of the
// durations (seconds); none for no durations.
NoisyLatent sampleNoisyLatent(std::span<const float> durations, const Geometry& geometry, const RandomSource& rng);

// lengths.size() rows of maxLen values, each row's first min(length, maxLen) set to 1.
std::vector<float> mask(std::span<const std::int64_t> lengths, std::int64_t maxLen);

} // namespace quorl::Supertonic3LatentSampler
