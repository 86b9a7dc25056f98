#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"

#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/DiarizerError.hpp"

#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <functional>
#include <numeric>

namespace quorl {

using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {

std::size_t product(const std::vector<std::size_t>& values) {
    return std::accumulate(values.begin(), values.end(), std::size_t{1}, std::multiplies<>());
}

} // namespace

std::shared_ptr<MultiArray> ANEMemoryOptimizer::createAlignedArray(const std::vector<std::size_t>& shape,
                                                                   DataType dataType) {
    try {
        return ANEMemoryUtils::createAlignedArray(shape, dataType, true);
    } catch (const std::exception&) {
        throw DiarizerError::memoryAllocationFailed();
    }
}

std::shared_ptr<MultiArray>
ANEMemoryOptimizer::getPooledBuffer(const std::string& key, const std::vector<std::size_t>& shape, DataType dataType) {
    std::lock_guard lock(bufferLock);
    auto found = bufferPool.find(key);
    if (found != bufferPool.end() && found->second->shape() == shape && found->second->dataType() == dataType) {
        return found->second;
    }
    auto array = createAlignedArray(shape, dataType);
    bufferPool.insert_or_assign(key, array);
    return array;
}

void ANEMemoryOptimizer::initializePooledBuffer(const std::string& key, const std::vector<std::size_t>& shape,
                                                DataType dataType) {
    std::lock_guard lock(bufferLock);
    bufferPool.insert_or_assign(key, createAlignedArray(shape, dataType));
}

void ANEMemoryOptimizer::clearBufferPool() {
    std::lock_guard lock(bufferLock);
    bufferPool.clear();
}

void ANEMemoryOptimizer::optimizedCopy(std::span<const float> source, MultiArray& destination, std::size_t offset,
                                       bool pad) {
    if (destination.dataType() != DataType::float32) {
        return;
    }
    // An array whose strides overlap (a broadcast view) spans fewer elements than it counts; linear
    // addressing must stay inside the memory it spans.
    const std::size_t count = std::min(destination.count(), destination.extent());
    if (offset > count) {
        throw DiarizerError::invalidArrayBounds();
    }
    const std::size_t copied = std::min(count - offset, source.size());
    float* start = destination.data<float>() + offset;
    platform::dsp::matrixMove(source.data(), copied, start, copied, 1, copied);
    if (pad && offset + copied < count) {
        platform::dsp::clear(start + copied, count - offset - copied);
    }
}

std::shared_ptr<MultiArray>
ANEMemoryOptimizer::createZeroCopyView(MultiArray& source, const std::vector<std::size_t>& shape, std::size_t offset) {
    const std::size_t sourceCount = product(source.shape());
    if (offset > sourceCount || product(shape) > sourceCount - offset) {
        throw DiarizerError::invalidArrayBounds();
    }
    try {
        return ANEMemoryUtils::createZeroCopyView(source, offset, shape);
    } catch (const ANEMemoryUtils::ANEMemoryError&) {
        throw DiarizerError::invalidArrayBounds();
    }
}

} // namespace quorl
