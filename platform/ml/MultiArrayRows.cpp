#include "platform/ml/MultiArrayRows.hpp"

namespace platform::ml {

namespace {

bool outerDimensionsNest(std::span<const std::size_t> shape, std::span<const std::size_t> strides) {
    for (std::size_t dimension = 0; dimension + 2 < shape.size(); ++dimension) {
        if (strides[dimension] != strides[dimension + 1] * shape[dimension + 1]) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<RowBlock> uniformRows(std::span<const std::size_t> shape, std::span<const std::size_t> firstStrides,
                                    std::span<const std::size_t> secondStrides) {
    if (shape.empty() || !outerDimensionsNest(shape, firstStrides) || !outerDimensionsNest(shape, secondStrides)) {
        return std::nullopt;
    }
    std::size_t rows = 1;
    for (std::size_t dimension = 0; dimension + 1 < shape.size(); ++dimension) {
        rows *= shape[dimension];
    }
    const bool oneDimension = shape.size() == 1;
    return RowBlock{
        .rows = rows,
        .columns = shape.back(),
        .firstRowStride = oneDimension ? shape.back() : firstStrides[shape.size() - 2],
        .secondRowStride = oneDimension ? shape.back() : secondStrides[shape.size() - 2],
    };
}

} // namespace platform::ml
