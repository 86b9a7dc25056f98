#include "QuorlAudio/asr/multilingual/NemotronMultilingualMelCache.hpp"

#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr NemotronMultilingualMelCache::Geometry defaults{.totalMelFrames = 121, .melFeatures = 2, .preEncodeCache = 9};

// [1, 2, frames]: row 0 holds the frame index plus 1, row 1 its negative.
std::shared_ptr<MultiArray> mel(std::size_t frames) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1, 2, frames}, DataType::float32);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        array->at<float>({0, 0, frame}) = static_cast<float>(frame + 1);
        array->at<float>({0, 1, frame}) = -static_cast<float>(frame + 1);
    }
    return array;
}

std::vector<float> row(const MultiArray& array, std::size_t feature) {
    std::vector<float> values;
    for (std::size_t frame = 0; frame < array.shape()[2]; ++frame) {
        values.push_back(array.at<float>({0, feature, frame}));
    }
    return values;
}

std::vector<float> frames(std::size_t first, std::size_t count) {
    std::vector<float> values;
    for (std::size_t frame = first; frame < first + count; ++frame) {
        values.push_back(static_cast<float>(frame + 1));
    }
    return values;
}

TEST(NemotronMultilingualMelCacheTests, AChunkOf113FramesIsFedBehindTheCacheAndLeavesItsLastNine) {
    const auto chunk = mel(113);
    const auto cache = NemotronMultilingualMelCache::extract(*chunk, defaults);
    EXPECT_EQ(cache->shape(), (MultiArray::Shape{1, 2, 9}));
    EXPECT_EQ(row(*cache, 0), frames(104, 9));

    const auto input = NemotronMultilingualMelCache::prepend(cache.get(), *chunk, defaults);

    ASSERT_EQ(input->shape(), (MultiArray::Shape{1, 2, 121}));
    auto expected = frames(104, 9);
    const auto chunkFrames = frames(0, 112);
    expected.insert(expected.end(), chunkFrames.begin(), chunkFrames.end());
    EXPECT_EQ(row(*input, 0), expected);
    EXPECT_EQ(row(*input, 1)[9], -1.0F);
}

TEST(NemotronMultilingualMelCacheTests, ColumnsNeitherTheCacheNorTheChunkReachStayZero) {
    const auto shortCache = NemotronMultilingualMelCache::extract(*mel(4), defaults);
    const auto input = NemotronMultilingualMelCache::prepend(shortCache.get(), *mel(5), defaults);
    const auto values = row(*input, 0);
    EXPECT_EQ(std::vector<float>(values.begin(), values.begin() + 15),
              (std::vector<float>{1, 2, 3, 4, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(values[120], 0.0F);

    const auto first = NemotronMultilingualMelCache::prepend(nullptr, *mel(3), defaults);
    EXPECT_EQ(row(*first, 0)[8], 0.0F);
    EXPECT_EQ(row(*first, 0)[9], 1.0F);
}

TEST(NemotronMultilingualMelCacheTests, ACacheIsReadThroughItsStrides) {
    std::vector<float> storage(2 * 2 * 4, 99.0F);
    const MultiArray padded(storage.data(), {1, 2, 2}, DataType::float32, {16, 8, 2}, [](void*) {});
    for (std::size_t frame = 0; frame < 2; ++frame) {
        storage[frame * 2] = static_cast<float>(10 + frame);
    }
    const auto input = NemotronMultilingualMelCache::prepend(&padded, *mel(1), defaults);
    const auto values = row(*input, 0);
    EXPECT_EQ(std::vector<float>(values.begin(), values.begin() + 3), (std::vector<float>{10, 11, 0}));
    EXPECT_EQ(row(*input, 1)[0], 99.0F);
}

} // namespace
} // namespace quorl
