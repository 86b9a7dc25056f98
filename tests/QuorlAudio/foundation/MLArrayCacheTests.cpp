#include "QuorlAudio/foundation/MLArrayCache.hpp"

#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;
using Shape = std::vector<std::size_t>;

// Returns `count` new arrays of the shape; says how many of them the pool kept, judged by whether they
// come back when borrowed again.
std::size_t keptOf(MLArrayCache& cache, const Shape& shape, std::size_t count) {
    std::vector<std::shared_ptr<MultiArray>> returned;
    for (std::size_t index = 0; index < count; ++index) {
        returned.push_back(std::make_shared<MultiArray>(shape, DataType::float32));
        cache.returnArray(returned.back());
    }
    std::size_t kept = 0;
    for (std::size_t index = 0; index < count; ++index) {
        auto borrowed = cache.getArray(shape, DataType::float32);
        kept += std::find(returned.begin(), returned.end(), borrowed) != returned.end() ? 1 : 0;
    }
    return kept;
}

TEST(MLArrayCache, ReturnedArraysComeBackZeroedWithTheirPaddingUntouched) {
    MLArrayCache cache;
    auto array = cache.getArray({2, 3}, DataType::float32);
    EXPECT_EQ(array->strides(), (Shape{16, 1}));
    EXPECT_EQ(testsupport::valuesOf(*array), std::vector<double>(6, 0));
    for (std::size_t index = 0; index < 6; ++index) {
        array->at<float>(index) = 5;
    }
    array->data<float>()[3] = -1;

    cache.returnArray(array);
    auto again = cache.getArray({2, 3}, DataType::float32);
    EXPECT_EQ(again, array);
    EXPECT_EQ(testsupport::valuesOf(*again), std::vector<double>(6, 0));
    EXPECT_EQ(again->data<float>()[3], -1.0f);
    EXPECT_NE(cache.getArray({2, 3}, DataType::int32), array) << "keys include the element type";
}

TEST(MLArrayCache, LendsTheLastReturnedArrayFirst) {
    MLArrayCache cache;
    auto first = cache.getArray({4}, DataType::float32);
    auto second = cache.getArray({4}, DataType::float32);
    cache.returnArray(first);
    cache.returnArray(second);
    EXPECT_EQ(cache.getArray({4}, DataType::float32), second);
    EXPECT_EQ(cache.getArray({4}, DataType::float32), first);
}

TEST(MLArrayCache, TheBudgetIsSharedEvenlyBetweenKeys) {
    {
        MLArrayCache cache;
        EXPECT_EQ(keptOf(cache, {1}, 120), 100u);
    }
    {
        MLArrayCache cache;
        keptOf(cache, {2}, 1);
        EXPECT_EQ(keptOf(cache, {1}, 51), 50u);
    }
    {
        MLArrayCache cache;
        for (std::size_t size = 2; size <= 4; ++size) {
            keptOf(cache, {size}, 1);
        }
        EXPECT_EQ(keptOf(cache, {1}, 30), 25u);
    }
}

std::vector<MLArrayCache::ShapeAndType> oneDimensionalShapes(std::size_t count) {
    std::vector<MLArrayCache::ShapeAndType> shapes;
    for (std::size_t size = 1; size <= count; ++size) {
        shapes.push_back({{size}, DataType::float32});
    }
    return shapes;
}

TEST(MLArrayCache, PrewarmReplacesEachKeysListWithItsShareOfArrays) {
    MLArrayCache cache;
    cache.prewarm({});
    cache.returnArray(std::make_shared<MultiArray>(Shape{1, 8}, DataType::float32));
    cache.prewarm({{{1, 8}, DataType::float32}});
    // One shape gets 5 arrays in place of the one returned before, so 95 more fit in the budget of 100.
    EXPECT_EQ(keptOf(cache, {1, 8}, 100), 95u);

    cache.clear();
    cache.prewarm(oneDimensionalShapes(25));
    // 25 keys share 100 arrays: 4 each, all prewarmed, so a fifth is not kept ...
    EXPECT_EQ(keptOf(cache, {1}, 1), 0u);
    // ... while with one of the four borrowed there is room again.
    auto borrowed = cache.getArray({2}, DataType::float32);
    EXPECT_EQ(keptOf(cache, {2}, 1), 1u);

    cache.clear();
    cache.prewarm(oneDimensionalShapes(100));
    EXPECT_EQ(keptOf(cache, {101}, 1), 1u) << "a new key does not count itself before it is stored";
    EXPECT_EQ(keptOf(cache, {1}, 1), 0u) << "101 keys leave no room for any array";

    cache.clear();
    cache.prewarm(oneDimensionalShapes(101));
    EXPECT_EQ(keptOf(cache, {1}, 1), 0u) << "101 shapes get empty lists";
}

TEST(MLArrayCache, APrewarmAllocationFailureKeepsTheKeysListAndGoesOn) {
    MLArrayCache cache;
    // A shape whose padded size overflows cannot be allocated; an array of it without elements can be pooled.
    const Shape impossible{0, std::numeric_limits<std::size_t>::max() - 1};
    float memory = 0;
    auto pooled = std::make_shared<MultiArray>(&memory, impossible, DataType::float32, Shape{0, 1}, nullptr);
    cache.returnArray(pooled);

    cache.prewarm({{impossible, DataType::float32}, {{1, 8}, DataType::float32}});

    EXPECT_EQ(cache.getArray(impossible, DataType::float32), pooled);
    EXPECT_EQ(keptOf(cache, {1, 8}, 50), 45u) << "the next shape still got its 5 arrays";
}

TEST(MLArrayCache, ClearEmptiesThePoolAndTheSharedPoolIsOne) {
    MLArrayCache cache;
    auto array = cache.getArray({3}, DataType::float32);
    cache.returnArray(array);
    cache.clear();
    EXPECT_NE(cache.getArray({3}, DataType::float32), array);
    EXPECT_EQ(&sharedMLArrayCache(), &sharedMLArrayCache());
}

} // namespace
} // namespace quorl
