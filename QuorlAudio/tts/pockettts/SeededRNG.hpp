#pragma once

#include <array>
#include <cstdint>

namespace quorl {

// xoshiro256** seeded through SplitMix64: the noise source of PocketTTS synthesis, so that one seed always
// gives the same speech.
class SeededRNG {
public:
    explicit SeededRNG(std::uint64_t seed);

    std::uint64_t next();
    // Uniform in [0, upperBound) without modulo bias (Lemire's multiply-and-reject); upperBound above 0.
    std::uint32_t next(std::uint32_t upperBound);

    const std::array<std::uint64_t, 4>& state() const { return state_; }

    // 8 fresh bytes of the system's random source, for a generation that was given no seed.
    static std::uint64_t freshSeed();

private:
    std::array<std::uint64_t, 4> state_{};
};

} // namespace quorl
