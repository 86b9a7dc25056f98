#include "QuorlAudio/foundation/MLArrayCache.hpp"

#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/dsp/Vector.hpp"
#include "platform/ml/MultiArrayRows.hpp"

#include <algorithm>
#include <cstring>
#include <functional>

namespace quorl {

using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

// Zeroes every element row by row through the strides; the padding between rows stays as it is.
void zeroElements(MultiArray& array) {
    const std::size_t size = platform::ml::elementSize(array.dataType());
    auto* bytes = static_cast<unsigned char*>(array.dataPointer());
    const std::size_t columns = array.count() == 0 ? 0 : array.shape().back();
    const std::size_t step = array.count() == 0 ? 0 : array.strides().back();
    platform::ml::forEachRow(array.shape(), array.strides(), array.strides(), [&](std::size_t offset, std::size_t) {
        if (step == 1 && array.dataType() == DataType::float32) {
            platform::dsp::clear(array.data<float>() + offset, columns);
        } else if (step == 1) {
            std::memset(bytes + offset * size, 0, columns * size);
        } else {
            for (std::size_t column = 0; column < columns; ++column) {
                std::memset(bytes + (offset + column * step) * size, 0, size);
            }
        }
    });
}

// Five arrays per shape while the budget allows, then an even share; none for an empty list of shapes.
std::size_t prewarmCount(std::size_t shapes, std::size_t budget) {
    if (shapes == 0 || shapes > budget) {
        return 0;
    }
    return std::min<std::size_t>(budget / shapes, 5);
}

} // namespace

std::size_t MLArrayCache::CacheKey::Hash::operator()(const CacheKey& key) const {
    std::size_t seed = std::hash<std::size_t>()(key.shape.size());
    for (auto dimension : key.shape) {
        combine(seed, std::hash<std::size_t>()(dimension));
    }
    combine(seed, std::hash<int>()(static_cast<int>(key.dataType)));
    return seed;
}

MLArrayCache::MLArrayCache(std::size_t maxCacheSize) : maxCacheSize(maxCacheSize) {}

std::shared_ptr<MultiArray> MLArrayCache::getArray(const std::vector<std::size_t>& shape, DataType dataType) {
    {
        std::lock_guard lock(mutex_);
        auto found = cache.find(CacheKey{.shape = shape, .dataType = dataType});
        if (found != cache.end() && !found->second.empty()) {
            auto array = std::move(found->second.back());
            found->second.pop_back();
            return array;
        }
    }
    return ANEMemoryUtils::createAlignedArray(shape, dataType, true);
}

void MLArrayCache::returnArray(const std::shared_ptr<MultiArray>& array) {
    if (array == nullptr) {
        return;
    }
    CacheKey key{.shape = array->shape(), .dataType = array->dataType()};
    std::lock_guard lock(mutex_);
    auto found = cache.find(key);
    const std::size_t pooled = found == cache.end() ? 0 : found->second.size();
    if (pooled >= limitPerKey()) {
        return;
    }
    zeroElements(*array);
    cache[std::move(key)].push_back(array);
}

void MLArrayCache::prewarm(const std::vector<ShapeAndType>& shapes) {
    std::lock_guard lock(mutex_);
    const std::size_t count = prewarmCount(shapes.size(), maxCacheSize);
    for (const auto& [shape, dataType] : shapes) {
        std::vector<std::shared_ptr<MultiArray>> arrays;
        try {
            for (std::size_t index = 0; index < count; ++index) {
                arrays.push_back(ANEMemoryUtils::createAlignedArray(shape, dataType, true));
            }
        } catch (const std::exception&) {
            continue;
        }
        cache.insert_or_assign(CacheKey{.shape = shape, .dataType = dataType}, std::move(arrays));
    }
}

void MLArrayCache::clear() {
    std::lock_guard lock(mutex_);
    cache.clear();
}

std::size_t MLArrayCache::limitPerKey() const { return cache.size() > 1 ? maxCacheSize / cache.size() : maxCacheSize; }

MLArrayCache& sharedMLArrayCache() {
    static MLArrayCache cache(100);
    return cache;
}

} // namespace quorl
