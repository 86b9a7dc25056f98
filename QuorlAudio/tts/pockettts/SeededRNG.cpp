#include "QuorlAudio/tts/pockettts/SeededRNG.hpp"

#include <bit>
#include <random>

namespace quorl {
namespace {

std::uint64_t splitMix64(std::uint64_t seed, std::uint64_t step) {
    std::uint64_t z = seed + step * 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30U)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27U)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31U);
}

} // namespace

SeededRNG::SeededRNG(std::uint64_t seed) {
    for (std::uint64_t k = 0; k < state_.size(); ++k) {
        state_[k] = splitMix64(seed, k + 1);
    }
}

std::uint64_t SeededRNG::next() {
    auto& [s0, s1, s2, s3] = state_;
    const std::uint64_t result = std::rotl(s1 * 5, 7) * 9;
    const std::uint64_t t = s1 << 17U;
    s2 ^= s0;
    s3 ^= s1;
    s1 ^= s2;
    s0 ^= s3;
    s2 ^= t;
    s3 = std::rotl(s3, 45);
    return result;
}

std::uint32_t SeededRNG::next(std::uint32_t upperBound) {
    auto product = [this, upperBound] {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(next())) * upperBound;
    };
    std::uint64_t m = product();
    if (static_cast<std::uint32_t>(m) < upperBound) {
        const std::uint32_t threshold = (0U - upperBound) % upperBound;
        while (static_cast<std::uint32_t>(m) < threshold) {
            m = product();
        }
    }
    return static_cast<std::uint32_t>(m >> 32U);
}

std::uint64_t SeededRNG::freshSeed() {
    std::random_device source;
    return (static_cast<std::uint64_t>(source()) << 32U) | source();
}

} // namespace quorl
