#include "QuorlAudio/diarization/offline/WeightInterpolation.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace quorl::WeightInterpolation {

InterpolationCoefficients::InterpolationCoefficients(std::int64_t inputLength, std::int64_t outputLength)
    : outputLength(outputLength) {
    if (inputLength < 1 || outputLength < 1) {
        throw std::invalid_argument("Interpolation lengths must be at least 1, got " + std::to_string(inputLength) +
                                    " and " + std::to_string(outputLength));
    }
    const float scale = static_cast<float>(outputLength) / static_cast<float>(inputLength);
    const float last = static_cast<float>(inputLength - 1);
    for (std::int64_t index = 0; index < outputLength; ++index) {
        const float centred = (static_cast<float>(index) + 0.5f) / scale - 0.5f;
        const float position = centred <= 0 ? 0.0f : std::min(centred, last);
        const auto lower = static_cast<std::int64_t>(std::floor(position));
        const std::int64_t upper = std::min(inputLength - 1, lower + 1);
        const float fraction = position - static_cast<float>(lower);
        lowerIndices.push_back(lower);
        upperIndices.push_back(upper);
        lowerWeights.push_back(1.0f - fraction);
        upperWeights.push_back(fraction);
        maxUpperIndex = std::max(maxUpperIndex, upper);
    }
}

std::vector<float> InterpolationCoefficients::interpolate(std::span<const float> values) const {
    if (values.empty()) {
        return {};
    }
    if (static_cast<std::int64_t>(values.size()) <= maxUpperIndex) {
        throw std::invalid_argument("Interpolation needs more than " + std::to_string(maxUpperIndex) + " values, got " +
                                    std::to_string(values.size()));
    }
    std::vector<float> output(static_cast<std::size_t>(outputLength));
    for (std::size_t index = 0; index < output.size(); ++index) {
        const float lower = values[static_cast<std::size_t>(lowerIndices[index])] * lowerWeights[index];
        const float upper = values[static_cast<std::size_t>(upperIndices[index])] * upperWeights[index];
        output[index] = lower + upper;
    }
    return output;
}

} // namespace quorl::WeightInterpolation
