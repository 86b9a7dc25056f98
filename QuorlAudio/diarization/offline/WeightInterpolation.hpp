#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Linear resampling of per-frame speaker masks from one frame count to another, with sample positions at the
// centres of their frames and clamped at both ends.
namespace quorl::WeightInterpolation {

// Per output position, the two source positions it lies between and their weights; one set serves every
// mask of the same pair of lengths.
struct InterpolationCoefficients {
    // Throws std::invalid_argument when either length is below 1.
    InterpolationCoefficients(std::int64_t inputLength, std::int64_t outputLength);

    // The values resampled to outputLength; empty for an empty input. Throws std::invalid_argument when a
    // non-empty input does not reach maxUpperIndex (an input of inputLength values always does).
    std::vector<float> interpolate(std::span<const float> values) const;

    std::vector<std::int64_t> lowerIndices;
    std::vector<std::int64_t> upperIndices;
    std::vector<float> lowerWeights;
    std::vector<float> upperWeights;
    std::int64_t maxUpperIndex = 0;
    std::int64_t outputLength = 0;
};

} // namespace quorl::WeightInterpolation
