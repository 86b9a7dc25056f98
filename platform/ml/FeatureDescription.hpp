#pragma once

#include "platform/ml/DataType.hpp"
#include "platform/ml/FeatureType.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform::ml {

// The accepted range of one dimension of a flexible shape; no upper bound means unbounded.
struct SizeRange {
    std::size_t lowerBound;
    std::optional<std::size_t> upperBound;
};

// The shapes a multi-array feature accepts beyond its default shape: a list of whole shapes, or a range per
// dimension. Both empty means the default shape alone.
struct ShapeConstraint {
    std::vector<std::vector<std::size_t>> enumeratedShapes;
    std::vector<SizeRange> sizeRangeForDimension;
};

// The shape and element type of a multi-array feature or of a state buffer.
struct MultiArrayConstraint {
    std::vector<std::size_t> shape;
    DataType dataType = DataType::float32;
    ShapeConstraint shapeConstraint;
    // States only: the strides, in elements, of the buffer the runtime keeps, padded as an accelerator lays
    // it out; empty for a dense buffer.
    std::vector<std::size_t> stateStrides{};

    // Whether an array of this shape is accepted.
    bool accepts(const std::vector<std::size_t>& candidate) const;
};

// One input, output or state of a model.
struct FeatureDescription {
    std::string name;
    FeatureType type = FeatureType::multiArray;
    bool isOptional = false;
    // Present for multi-array features and states.
    std::optional<MultiArrayConstraint> multiArrayConstraint;
};

} // namespace platform::ml
