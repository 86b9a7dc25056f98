#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::valuesOf;
using Shape = std::vector<std::size_t>;
using Kind = ANEMemoryUtils::ANEMemoryError::Kind;

template <class Action> void expectError(Kind kind, Action action) {
    try {
        action();
        ADD_FAILURE() << "no ANEMemoryError";
    } catch (const ANEMemoryUtils::ANEMemoryError& error) {
        EXPECT_EQ(error.kind(), kind) << error.what();
    }
}

std::shared_ptr<MultiArray> alignedWithValues(const Shape& shape, double first) {
    auto array = ANEMemoryUtils::createAlignedArray(shape, DataType::float32, true);
    for (std::size_t index = 0; index < array->count(); ++index) {
        array->setValue(index, first + static_cast<double>(index));
    }
    return array;
}

TEST(ANEMemoryUtils, PaddedLayoutRaisesTheInnermostRowToWholeTiles) {
    const struct {
        Shape shape;
        Shape strides;
    } cases[] = {
        {{2, 5, 20}, {160, 32, 1}},
        {{2, 640}, {640, 1}},
        {{2, 3}, {16, 1}},
        {{300}, {1}},
        {{1, 1, 640}, {640, 640, 1}},
        {{1, 1, 1}, {16, 16, 1}},
        {{1, 1024, 1}, {16384, 16, 1}},
        {{}, {}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(ANEMemoryUtils::calculateOptimalStrides(testCase.shape), testCase.strides);
    }
}

TEST(ANEMemoryUtils, AlignedArraysOwnTheirPaddedExtentRoundedToWhole64ByteBlocks) {
    const struct {
        Shape shape;
        DataType dataType;
        std::size_t extent;
        std::size_t bytes;
    } cases[] = {
        {{1, 1, 1}, DataType::float32, 16, 64}, {{2, 3}, DataType::float32, 32, 128},
        {{2, 3}, DataType::float16, 32, 64},    {{2, 3}, DataType::float64, 32, 256},
        {{3}, DataType::float32, 3, 64},        {{}, DataType::int32, 0, 64},
    };
    for (const auto& testCase : cases) {
        auto array = ANEMemoryUtils::createAlignedArray(testCase.shape, testCase.dataType, true);
        EXPECT_EQ(array->extent(), testCase.extent);
        EXPECT_EQ(array->strides(), ANEMemoryUtils::calculateOptimalStrides(testCase.shape));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(array->dataPointer()) % 64, 0u);
        // Every allocated byte, padding and rounding included, is zero and writable (the sanitizer checks the
        // bounds).
        auto* bytes = static_cast<unsigned char*>(array->storage().get());
        for (std::size_t index = 0; index < testCase.bytes; ++index) {
            EXPECT_EQ(bytes[index], 0) << index;
            bytes[index] = 0xFF;
        }
    }
}

TEST(ANEMemoryUtils, AnImpossibleAllocationFails) {
    const std::size_t huge = std::numeric_limits<std::size_t>::max() / 2;
    expectError(Kind::allocationFailed, [&] {
        ANEMemoryUtils::createAlignedArray({huge, 3}, DataType::float32, false);
    });
}

TEST(ANEMemoryUtils, AViewSharesAndOutlivesItsSourceMemory) {
    auto source = alignedWithValues({2, 3}, 1);
    auto view = ANEMemoryUtils::createZeroCopyView(*source, 16, {3});
    EXPECT_EQ(valuesOf(*view), (std::vector<double>{4, 5, 6}));
    view->at<float>(0) = 40;
    EXPECT_EQ(source->at<float>({1, 0}), 40.0f);

    source.reset();
    EXPECT_EQ(view->at<float>(2), 6.0f) << "the view keeps the storage alive";
}

TEST(ANEMemoryUtils, AViewMustFitInsideTheSourceExtent) {
    auto source = ANEMemoryUtils::createAlignedArray({2, 3}, DataType::float32, true);
    ANEMemoryUtils::createZeroCopyView(*source, 16, {1, 16});
    ANEMemoryUtils::createZeroCopyView(*source, 0, {2, 3}, Shape{3, 1});
    expectError(Kind::invalidShape, [&] { ANEMemoryUtils::createZeroCopyView(*source, 17, {1, 16}); });
    expectError(Kind::invalidShape, [&] { ANEMemoryUtils::createZeroCopyView(*source, 40, {0}); });
    // Strides whose last element lies beyond the first-dimension extent.
    expectError(Kind::invalidShape, [&] { ANEMemoryUtils::createZeroCopyView(*source, 0, {2, 3}, Shape{1, 16}); });
    expectError(Kind::invalidShape, [&] { ANEMemoryUtils::createZeroCopyView(*source, 0, {2, 3}, Shape{1}); });
}

TEST(ANEMemoryUtils, StrideAwareCopyMovesElementsBetweenLayouts) {
    auto padded = alignedWithValues({2, 2, 3}, 1);
    auto dense = std::make_shared<MultiArray>(Shape{2, 2, 3}, DataType::float32);
    ANEMemoryUtils::strideAwareCopy(*padded, *dense);
    EXPECT_EQ(valuesOf(*dense), (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

    auto back = ANEMemoryUtils::createAlignedArray({2, 2, 3}, DataType::float32, true);
    back->data<float>()[3] = -1;
    ANEMemoryUtils::strideAwareCopy(*dense, *back);
    EXPECT_EQ(valuesOf(*back), valuesOf(*dense));
    EXPECT_EQ(back->data<float>()[3], -1.0f) << "padding is not written between different layouts";

    auto same = ANEMemoryUtils::createAlignedArray({2, 2, 3}, DataType::float32, false);
    ANEMemoryUtils::strideAwareCopy(*padded, *same);
    EXPECT_EQ(valuesOf(*same), valuesOf(*padded));

    auto ints = testsupport::makeArray({2, 2}, {1, 2, 3, 4}, DataType::int32);
    auto paddedInts = ANEMemoryUtils::createAlignedArray({2, 2}, DataType::int32, true);
    ANEMemoryUtils::strideAwareCopy(*ints, *paddedInts);
    EXPECT_EQ(valuesOf(*paddedInts), (std::vector<double>{1, 2, 3, 4}));
}

TEST(ANEMemoryUtils, StrideAwareCopyRefusesMismatchedArrays) {
    MultiArray source({2, 3}, DataType::float32);
    MultiArray otherShape({3, 2}, DataType::float32);
    MultiArray otherType({2, 3}, DataType::float16);
    std::vector<float> memory(12);
    MultiArray strided(memory.data(), {2, 3}, DataType::float32, {6, 2}, nullptr);
    expectError(Kind::invalidShape, [&] { ANEMemoryUtils::strideAwareCopy(source, otherShape); });
    expectError(Kind::unsupportedDataType, [&] { ANEMemoryUtils::strideAwareCopy(source, otherType); });
    expectError(Kind::invalidShape, [&] { ANEMemoryUtils::strideAwareCopy(source, strided); });
}

TEST(ANEMemoryUtils, ConvertToFloat16KeepsEveryRowOfAPaddedArray) {
    auto padded = alignedWithValues({2, 3}, 0.5);
    auto half = ANEMemoryUtils::convertToFloat16(*padded);
    EXPECT_EQ(half->dataType(), DataType::float16);
    EXPECT_EQ(half->strides(), (Shape{16, 1}));
    EXPECT_EQ(valuesOf(*half), (std::vector<double>{0.5, 1.5, 2.5, 3.5, 4.5, 5.5}));

    auto dense = testsupport::makeArray({2, 3}, {1, 2, 3, 4, 5, 65520});
    EXPECT_EQ(valuesOf(*ANEMemoryUtils::convertToFloat16(*dense)),
              (std::vector<double>{1, 2, 3, 4, 5, std::numeric_limits<double>::infinity()}));

    expectError(Kind::unsupportedDataType,
                [&] { ANEMemoryUtils::convertToFloat16(MultiArray({2}, DataType::float64)); });
}

} // namespace
} // namespace quorl
