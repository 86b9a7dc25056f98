#include "platform/ml/BestScoreIndex.hpp"

#include <array>
#include <limits>

namespace platform::ml {
namespace {

// The index of the greatest of `width` scores read by `score`; a tie keeps the lower index.
template <class Score> std::size_t bestIndex(std::size_t width, Score score) {
    std::size_t best = 0;
    float bestScore = -std::numeric_limits<float>::infinity();
    for (std::size_t index = 0; index < width; ++index) {
        const float candidate = score(index);
        if (candidate > bestScore) {
            bestScore = candidate;
            best = index;
        }
    }
    return best;
}

} // namespace

std::size_t bestScoreIndex(const MultiArray& scores, std::size_t position) {
    const std::size_t width = scores.shape()[2];
    if (width == 0) {
        return 0;
    }
    if (scores.dataType() == DataType::float32) {
        const std::array<std::size_t, 3> start{0, position, 0};
        const float* row = scores.data<float>() + scores.offsetOf(start);
        const std::size_t stride = scores.strides()[2];
        return bestIndex(width, [row, stride](std::size_t index) { return row[index * stride]; });
    }
    const std::size_t first = position * width;
    return bestIndex(width,
                     [&scores, first](std::size_t index) { return static_cast<float>(scores.value(first + index)); });
}

} // namespace platform::ml
