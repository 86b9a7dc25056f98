#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorl {

// Reproducible standard Gaussian noise: SplitMix64 draws turned into normals by the cosine branch of
// Box-Muller, two draws per value. A value; copies continue independently.
class StyleTTS2NoiseSource {
public:
    // Seed 0 would start SplitMix64 from an all-zero state, so it stands for 0xdeadbeefcafebabe.
    explicit StyleTTS2NoiseSource(std::uint64_t seed);

    float nextGaussian();
    std::vector<float> nextGaussianArray(std::size_t count);

    std::uint64_t state() const { return state_; }

private:
    double nextUniform();

    std::uint64_t state_;
};

} // namespace quorl
