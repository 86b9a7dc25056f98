#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/MultiArrayReset.hpp"

#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::valuesOf;

TEST(MultiArrayReset, FillsFloatAndIntegerArraysAndLeavesOtherTypes) {
    MultiArray floats({7}, DataType::float32);
    reset(floats, 0.5);
    EXPECT_EQ(valuesOf(floats), std::vector<double>(7, 0.5));

    MultiArray integers({2, 2}, DataType::int32);
    reset(integers, 3.9);
    EXPECT_EQ(valuesOf(integers), std::vector<double>(4, 3));

    auto halves = testsupport::makeArray({3}, {1, 2, 3}, DataType::float16);
    reset(*halves, 0.5);
    EXPECT_EQ(valuesOf(*halves), (std::vector<double>{1, 2, 3}));
}

TEST(MultiArrayReset, FillsEveryElementOfAPaddedArrayAndNoPadding) {
    auto padded = ANEMemoryUtils::createAlignedArray({2, 3, 5}, DataType::float32, true);
    reset(*padded, -2);
    EXPECT_EQ(valuesOf(*padded), std::vector<double>(30, -2));
    EXPECT_EQ(padded->data<float>()[5], 0.0f);
    EXPECT_EQ(padded->data<float>()[padded->extent() - 1], 0.0f);

    std::vector<float> memory(6, 9);
    MultiArray everyOther(memory.data(), {3}, DataType::float32, {2}, nullptr);
    reset(everyOther, 1);
    EXPECT_EQ(memory, (std::vector<float>{1, 9, 1, 9, 1, 9}));
}

} // namespace
} // namespace quorl
