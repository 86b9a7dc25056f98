#include "QuorlAudio/diarization/offline/EmbeddingInputShape.hpp"

#include <algorithm>

namespace quorl::EmbeddingInputShape {
namespace {

std::size_t fallbackValue(const Shape& fallback, std::size_t dimension) {
    if (fallback.empty()) {
        return 1;
    }
    return dimension < fallback.size() ? fallback[dimension] : fallback.back();
}

Shape atLeastOne(Shape shape) {
    for (auto& dimension : shape) {
        dimension = std::max<std::size_t>(1, dimension);
    }
    return shape;
}

} // namespace

std::int64_t resolveElementCount(const std::optional<platform::ml::MultiArrayConstraint>& constraint,
                                 std::int64_t fallback) {
    if (!constraint) {
        return fallback;
    }
    const auto& shape = constraint->shape;
    if (!shape.empty() && shape.back() > 0) {
        return static_cast<std::int64_t>(shape.back());
    }
    if (shape.size() >= 2 && shape[shape.size() - 2] > 0) {
        return static_cast<std::int64_t>(shape[shape.size() - 2]);
    }
    return fallback;
}

std::size_t dimensionHint(const platform::ml::MultiArrayConstraint& constraint) {
    const auto& enumerated = constraint.shapeConstraint.enumeratedShapes;
    if (!enumerated.empty() && !enumerated.front().empty()) {
        return enumerated.front().size();
    }
    if (!constraint.shape.empty()) {
        return constraint.shape.size();
    }
    return constraint.shapeConstraint.sizeRangeForDimension.size();
}

Shape sanitizedShape(const Shape& values, const Shape& fallback) {
    if (values.empty()) {
        return atLeastOne(fallback);
    }
    Shape shape = values;
    for (std::size_t dimension = 0; dimension < shape.size(); ++dimension) {
        if (shape[dimension] == 0) {
            shape[dimension] = std::max<std::size_t>(1, fallbackValue(fallback, dimension));
        }
    }
    return shape;
}

Shape sanitizedShape(const platform::ml::MultiArrayConstraint& constraint, const Shape& fallback) {
    const auto& enumerated = constraint.shapeConstraint.enumeratedShapes;
    if (!enumerated.empty() && !enumerated.front().empty()) {
        return sanitizedShape(enumerated.front(), fallback);
    }
    if (!constraint.shape.empty()) {
        return sanitizedShape(constraint.shape, fallback);
    }
    const auto& ranges = constraint.shapeConstraint.sizeRangeForDimension;
    if (ranges.empty()) {
        return atLeastOne(fallback);
    }
    Shape shape;
    for (std::size_t dimension = 0; dimension < ranges.size(); ++dimension) {
        const std::size_t lower = ranges[dimension].lowerBound;
        shape.push_back(lower >= 1 ? lower : std::max<std::size_t>(1, fallbackValue(fallback, dimension)));
    }
    return shape;
}

Shape fallbackShape(std::size_t rank, std::int64_t count) {
    Shape shape(rank > 0 ? rank - 1 : 0, 1);
    shape.push_back(static_cast<std::size_t>(count));
    return shape;
}

} // namespace quorl::EmbeddingInputShape
