#include "platform/ml/FeatureDescription.hpp"

#include <algorithm>

namespace platform::ml {

namespace {

bool withinRanges(const std::vector<SizeRange>& ranges, const std::vector<std::size_t>& candidate) {
    if (ranges.size() != candidate.size()) {
        return false;
    }
    for (std::size_t dimension = 0; dimension < ranges.size(); ++dimension) {
        const auto& range = ranges[dimension];
        if (candidate[dimension] < range.lowerBound || (range.upperBound && candidate[dimension] > *range.upperBound)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool MultiArrayConstraint::accepts(const std::vector<std::size_t>& candidate) const {
    if (!shapeConstraint.enumeratedShapes.empty()) {
        return std::ranges::find(shapeConstraint.enumeratedShapes, candidate) != shapeConstraint.enumeratedShapes.end();
    }
    if (!shapeConstraint.sizeRangeForDimension.empty()) {
        return withinRanges(shapeConstraint.sizeRangeForDimension, candidate);
    }
    return candidate == shape;
}

} // namespace platform::ml
