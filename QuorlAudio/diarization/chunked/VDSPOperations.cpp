#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"

#include "platform/dsp/Vector.hpp"

#include <cmath>
#include <limits>

namespace quorl::VDSPOperations {

namespace {

constexpr float normalisationFloor = 1e-12f;

// The first value, replaced only by a strictly larger one.
float firstMaximum(std::span<const float> values) {
    float maximum = values.front();
    for (const float value : values) {
        if (value > maximum) {
            maximum = value;
        }
    }
    return maximum;
}

} // namespace

std::vector<float> l2Normalize(std::span<const float> vector) {
    std::vector<float> normalised(vector.begin(), vector.end());
    if (vector.empty()) {
        return normalised;
    }
    const float norm = std::sqrt(platform::dsp::dot(vector.data(), vector.data(), vector.size()));
    const float divisor = norm <= normalisationFloor ? normalisationFloor : norm;
    platform::dsp::multiplyScalar(vector.data(), 1.0f / divisor, normalised.data(), vector.size());
    return normalised;
}

float logSumExp(std::span<const float> values) {
    if (values.empty()) {
        return -std::numeric_limits<float>::infinity();
    }
    const float maximum = firstMaximum(values);
    std::vector<float> shifted(values.size());
    for (std::size_t index = 0; index < values.size(); ++index) {
        shifted[index] = std::exp(values[index] - maximum);
    }
    return maximum + std::log(platform::dsp::sum(shifted.data(), shifted.size()));
}

} // namespace quorl::VDSPOperations
