#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

bool allZero(const MultiArray& array) {
    const auto values = testsupport::valuesOf(array);
    return std::ranges::all_of(values, [](double value) { return value == 0; });
}

TEST(EncoderCacheManagerTests, InitialCachesAreZeroOfTheirShapesAndTypes) {
    const auto caches = EncoderCacheManager::createInitialCaches({
        .channelShape = {17, 1, 70, 512},
        .timeShape = {17, 1, 512, 8},
        .lenShape = {1},
    });
    EXPECT_EQ(caches.channel->shape(), (MultiArray::Shape{17, 1, 70, 512}));
    EXPECT_EQ(caches.channel->dataType(), DataType::float32);
    EXPECT_EQ(caches.channel->count(), 17u * 70 * 512);
    EXPECT_TRUE(allZero(*caches.channel));
    EXPECT_EQ(caches.time->shape(), (MultiArray::Shape{17, 1, 512, 8}));
    EXPECT_TRUE(allZero(*caches.time));
    EXPECT_EQ(caches.len->dataType(), DataType::int32);
    EXPECT_EQ(testsupport::valuesOf(*caches.len), std::vector<double>{0});

    const auto zeros = EncoderCacheManager::createZeroArray({1, 128, 16}, DataType::float32);
    EXPECT_EQ(zeros->count(), 2048u);
    EXPECT_TRUE(allZero(*zeros));
}

TEST(EncoderCacheManagerTests, ExtractsTheArraysThatAreThere) {
    const auto channel = testsupport::makeArray({2}, {1, 2});
    const platform::ml::DictionaryFeatureProvider output({
        {"channel", channel},
        {"time", platform::ml::FeatureValue(std::int64_t{3})},
    });
    const auto caches = EncoderCacheManager::extractCachesFromOutput(output, "channel", "time", "len");
    EXPECT_EQ(caches.channel, channel);
    EXPECT_EQ(caches.time, nullptr);
    EXPECT_EQ(caches.len, nullptr);
}

} // namespace
} // namespace quorl
