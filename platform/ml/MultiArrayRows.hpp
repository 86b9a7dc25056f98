#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace platform::ml {

// Walking the innermost rows of strided arrays, so that copies and fills move whole rows with block
// operations instead of addressing elements one by one. A row is the innermost dimension; a one-dimensional
// shape is one row. Offsets are in elements from each array's data pointer.

// Calls visit(firstOffset, secondOffset) for every row of `shape`, the outer indices in row-major order
// (the last outer index fastest), with the row's start in two arrays laid out by their own strides.
// Nothing is visited for an empty shape or one with a zero dimension.
template <class Visit>
void forEachRow(std::span<const std::size_t> shape, std::span<const std::size_t> firstStrides,
                std::span<const std::size_t> secondStrides, Visit&& visit) {
    for (auto dimension : shape) {
        if (dimension == 0) {
            return;
        }
    }
    if (shape.empty()) {
        return;
    }
    const std::size_t outerRank = shape.size() - 1;
    std::vector<std::size_t> index(outerRank, 0);
    std::size_t first = 0;
    std::size_t second = 0;
    for (;;) {
        visit(first, second);
        std::size_t dimension = outerRank;
        for (;;) {
            if (dimension == 0) {
                return;
            }
            --dimension;
            if (++index[dimension] < shape[dimension]) {
                first += firstStrides[dimension];
                second += secondStrides[dimension];
                break;
            }
            index[dimension] = 0;
            first -= (shape[dimension] - 1) * firstStrides[dimension];
            second -= (shape[dimension] - 1) * secondStrides[dimension];
        }
    }
}

// The rows of two arrays of the same shape seen as one matrix each: `rows` rows of `columns` elements whose
// starts lie a fixed stride apart in each array.
struct RowBlock {
    std::size_t rows;
    std::size_t columns;
    std::size_t firstRowStride;
    std::size_t secondRowStride;
};

// The single matrix that holds every row of both arrays, when their outer dimensions nest regularly (every
// outer stride is the next inner stride times the next inner dimension, as in dense and padded layouts);
// none otherwise, and none for an empty shape. The rows are contiguous only where the innermost strides are 1,
// which the caller checks.
std::optional<RowBlock> uniformRows(std::span<const std::size_t> shape, std::span<const std::size_t> firstStrides,
                                    std::span<const std::size_t> secondStrides);

} // namespace platform::ml
