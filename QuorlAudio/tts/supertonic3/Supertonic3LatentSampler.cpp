#include "QuorlAudio/tts/supertonic3/Supertonic3LatentSampler.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>

namespace quorl::Supertonic3LatentSampler {
namespace {

// The largest float below 2^63, so that every sample count up to it converts exactly.
constexpr float largestSampleCount = 9.2233715e18F;

std::int64_t framesOf(std::int64_t samples, std::int64_t chunkSize) {
    return samples / chunkSize + (samples % chunkSize != 0 ? 1 : 0);
}

float gaussian(const RandomSource& rng) {
    const float u1 = rng();
    const float u2 = rng();
    return std::sqrt(-2.0F * std::log(std::max(u1, 0.0001F))) * std::cos(6.283185F * u2);
}

// Frames from each item's own length onward are silence in every channel.
void silenceBeyondLengths(NoisyLatent& latent, std::span<const std::int64_t> lengths) {
    const auto frames = static_cast<std::size_t>(latent.dims.length);
    const auto channels = static_cast<std::size_t>(latent.dims.channels);
    for (std::size_t item = 0; item < lengths.size(); ++item) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const auto row =
                latent.noisyLatent.begin() + static_cast<std::ptrdiff_t>((item * channels + channel) * frames);
            std::fill(row + lengths[item], row + static_cast<std::ptrdiff_t>(frames), 0.0F);
        }
    }
}

} // namespace

std::int64_t sampleCount(float duration, std::int64_t sampleRate) {
    const float samples = duration * static_cast<float>(sampleRate);
    if (!(samples > 0.0F)) {
        return 0;
    }
    return samples >= largestSampleCount ? std::numeric_limits<std::int64_t>::max()
                                         : static_cast<std::int64_t>(samples);
}

RandomSource systemRandom() {
    return [] {
        thread_local std::mt19937 engine{std::random_device{}()};
        return std::uniform_real_distribution<float>(0.0F, 1.0F)(engine);
    };
}

std::int64_t latentLength(float duration, const Geometry& geometry) {
    return framesOf(sampleCount(duration, geometry.sampleRate), geometry.baseChunkSize * geometry.chunkCompressFactor);
}

NoisyLatent sampleNoisyLatent(std::span<const float> durations, const Geometry& geometry, const RandomSource& rng) {
    std::vector<std::int64_t> lengths;
    for (const float duration : durations) {
        lengths.push_back(latentLength(duration, geometry));
    }
    NoisyLatent latent;
    latent.dims = {.bsz = static_cast<std::int64_t>(durations.size()),
                   .channels = geometry.latentDim * geometry.chunkCompressFactor,
                   .length = lengths.empty() ? 0 : std::ranges::max(lengths)};
    latent.noisyLatent.resize(static_cast<std::size_t>(latent.dims.bsz * latent.dims.channels * latent.dims.length));
    std::ranges::generate(latent.noisyLatent, [&] { return gaussian(rng); });
    latent.latentMask = mask(lengths, latent.dims.length);
    silenceBeyondLengths(latent, lengths);
    return latent;
}

std::vector<float> mask(std::span<const std::int64_t> lengths, std::int64_t maxLen) {
    const auto width = static_cast<std::size_t>(std::max<std::int64_t>(maxLen, 0));
    std::vector<float> values(lengths.size() * width, 0.0F);
    for (std::size_t item = 0; item < lengths.size(); ++item) {
        const auto filled = static_cast<std::size_t>(std::clamp<std::int64_t>(lengths[item], 0, maxLen));
        std::fill_n(values.begin() + static_cast<std::ptrdiff_t>(item * width), filled, 1.0F);
    }
    return values;
}

} // namespace quorl::Supertonic3LatentSampler
