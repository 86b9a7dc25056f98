#include "QuorlAudio/asr/multilingual/NemotronMultilingualMelCache.hpp"

#include <algorithm>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

struct Columns {
    std::size_t sourceFirst;
    std::size_t destinationFirst;
    std::size_t count;
};

std::size_t frames(const MultiArray& mel) { return mel.shape().size() == 3 ? mel.shape()[2] : 0; }

// Copies columns between two [1, F, frames] arrays for the feature rows both have, through their strides.
void copyColumns(const MultiArray& source, MultiArray& destination, const Columns& columns) {
    if (source.shape().size() != 3 || columns.count == 0) {
        return;
    }
    const std::size_t rows = std::min(source.shape()[1], destination.shape()[1]);
    const float* from = source.data<float>();
    float* to = destination.data<float>();
    const auto& in = source.strides();
    const auto& out = destination.strides();
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t column = 0; column < columns.count; ++column) {
            to[row * out[1] + (columns.destinationFirst + column) * out[2]] =
                from[row * in[1] + (columns.sourceFirst + column) * in[2]];
        }
    }
}

} // namespace

std::shared_ptr<MultiArray> NemotronMultilingualMelCache::prepend(const MultiArray* melCache,
                                                                  const MultiArray& chunkMel,
                                                                  const Geometry& geometry) {
    const auto total = static_cast<std::size_t>(geometry.totalMelFrames);
    const auto cacheColumns = static_cast<std::size_t>(geometry.preEncodeCache);
    auto input = std::make_shared<MultiArray>(
        MultiArray::Shape{1, static_cast<std::size_t>(geometry.melFeatures), total}, DataType::float32);
    if (melCache) {
        copyColumns(*melCache, *input,
                    {.sourceFirst = 0, .destinationFirst = 0, .count = std::min(frames(*melCache), total)});
    }
    copyColumns(chunkMel, *input,
                {.sourceFirst = 0,
                 .destinationFirst = cacheColumns,
                 .count = std::min(total - cacheColumns, frames(chunkMel))});
    return input;
}

std::shared_ptr<MultiArray> NemotronMultilingualMelCache::extract(const MultiArray& chunkMel,
                                                                  const Geometry& geometry) {
    const std::size_t count = std::min(frames(chunkMel), static_cast<std::size_t>(geometry.preEncodeCache));
    auto cache = std::make_shared<MultiArray>(
        MultiArray::Shape{1, static_cast<std::size_t>(geometry.melFeatures), count}, DataType::float32);
    copyColumns(chunkMel, *cache, {.sourceFirst = frames(chunkMel) - count, .destinationFirst = 0, .count = count});
    return cache;
}

} // namespace quorl
