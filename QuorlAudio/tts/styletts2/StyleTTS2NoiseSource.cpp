#include "QuorlAudio/tts/styletts2/StyleTTS2NoiseSource.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorl {

StyleTTS2NoiseSource::StyleTTS2NoiseSource(std::uint64_t seed) : state_(seed == 0 ? 0xdeadbeefcafebabeULL : seed) {}

double StyleTTS2NoiseSource::nextUniform() {
    state_ += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1p-53;
}

float StyleTTS2NoiseSource::nextGaussian() {
    // Kept above zero so the logarithm stays finite.
    constexpr double smallest = std::numeric_limits<double>::min();
    const double u1 = std::max(nextUniform(), smallest);
    const double u2 = std::max(nextUniform(), smallest);
    return static_cast<float>(std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2));
}

std::vector<float> StyleTTS2NoiseSource::nextGaussianArray(std::size_t count) {
    std::vector<float> values(count);
    for (auto& value : values) {
        value = nextGaussian();
    }
    return values;
}

} // namespace quorl
