#include "platform/ml/MultiArray.hpp"
#include "platform/ml/MultiArrayCopy.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

namespace {

using platform::ml::DataType;
using platform::ml::ModelError;
using platform::ml::MultiArray;

TEST(MultiArray, OwningArrayIsDenseZeroFilledAndAligned) {
    MultiArray array({2, 3, 4}, DataType::float32);
    EXPECT_EQ(array.strides(), (MultiArray::Shape{12, 4, 1}));
    EXPECT_EQ(array.count(), 24u);
    EXPECT_EQ(array.extent(), 24u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(array.dataPointer()) % 64, 0u);
    for (std::size_t index = 0; index < array.count(); ++index) {
        EXPECT_EQ(array.at<float>(index), 0.0f);
    }
}

TEST(MultiArray, ElementAccessFollowsTheStrides) {
    // 2 x 3 floats in rows padded to 16, the layout of the Neural Engine arrays.
    std::vector<float> memory(32, -1.0f);
    MultiArray array(memory.data(), {2, 3}, DataType::float32, {16, 1}, nullptr);
    for (std::size_t index = 0; index < 6; ++index) {
        array.at<float>(index) = static_cast<float>(index);
    }
    EXPECT_EQ(memory[16], 3.0f);
    EXPECT_EQ(memory[18], 5.0f);
    EXPECT_EQ(memory[3], -1.0f) << "padding is not an element";
    EXPECT_EQ(array.at<float>({1, 2}), 5.0f);
    EXPECT_EQ(array.value(4), 4.0);
    EXPECT_EQ(array.extent(), 32u);
    EXPECT_EQ(testsupport::valuesOf(array), (std::vector<double>{0, 1, 2, 3, 4, 5}));
}

TEST(MultiArray, WrongElementTypeOrIndexIsAModelError) {
    MultiArray array({2, 2}, DataType::float16);
    EXPECT_THROW(array.data<float>(), ModelError);
    EXPECT_THROW(array.at<platform::dsp::Half>(4), ModelError);
    EXPECT_THROW(array.at<platform::dsp::Half>({0, 2}), ModelError);
    EXPECT_THROW((void)MultiArray(nullptr, {2}, DataType::float32, {1, 1}, nullptr), ModelError);
}

TEST(MultiArray, ValuesConvertToEveryElementType) {
    struct Case {
        DataType dataType;
        double written;
        double read;
    };
    const Case cases[] = {
        {DataType::float16, 0.5, 0.5},
        {DataType::float16, 65520.0, std::numeric_limits<double>::infinity()},
        {DataType::float32, 0.1, static_cast<double>(0.1f)},
        {DataType::float64, 0.1, 0.1},
        {DataType::int32, -2.7, -2},
        {DataType::int32, 1e12, std::numeric_limits<std::int32_t>::max()},
        {DataType::int32, std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto& testCase : cases) {
        MultiArray array({1}, testCase.dataType);
        array.setValue(0, testCase.written);
        EXPECT_EQ(array.value(0), testCase.read)
            << platform::ml::rawValue(testCase.dataType) << " " << testCase.written;
    }
}

TEST(MultiArray, ViewsKeepTheirSourceStorageAliveAndTheDeallocatorRunsOnce) {
    int released = 0;
    auto* memory = static_cast<float*>(std::calloc(8, sizeof(float)));
    std::shared_ptr<MultiArray> view;
    {
        auto source = std::make_shared<MultiArray>(memory, MultiArray::Shape{8}, DataType::float32,
                                                   MultiArray::Shape{1}, [&released](void* data) {
                                                       ++released;
                                                       std::free(data);
                                                   });
        view = std::make_shared<MultiArray>(source->storage(), memory + 4, MultiArray::Shape{4}, DataType::float32,
                                            MultiArray::Shape{1});
    }
    EXPECT_EQ(released, 0);
    view->at<float>(3) = 7.0f;
    EXPECT_EQ(memory[7], 7.0f);
    view.reset();
    EXPECT_EQ(released, 1);
}

TEST(MultiArray, CopyElementsMovesValuesBetweenLayoutsWithoutTouchingPadding) {
    std::vector<float> padded(32, -1.0f);
    MultiArray source(padded.data(), {2, 3}, DataType::float32, {16, 1}, nullptr);
    for (std::size_t index = 0; index < 6; ++index) {
        source.at<float>(index) = static_cast<float>(index + 1);
    }
    auto dense = testsupport::snapshotOf(source);
    EXPECT_EQ(dense->strides(), (MultiArray::Shape{3, 1}));
    EXPECT_EQ(testsupport::valuesOf(*dense), (std::vector<double>{1, 2, 3, 4, 5, 6}));

    std::vector<float> transposedMemory(6, 0.0f);
    MultiArray transposed(transposedMemory.data(), {2, 3}, DataType::float32, {1, 2}, nullptr);
    platform::ml::copyElements(*dense, transposed);
    EXPECT_EQ(transposedMemory, (std::vector<float>{1, 4, 2, 5, 3, 6}));

    platform::ml::copyElements(*dense, source);
    EXPECT_EQ(padded[3], -1.0f);
    MultiArray otherType({2, 3}, DataType::int32);
    EXPECT_THROW(platform::ml::copyElements(*dense, otherType), ModelError);
}

TEST(MultiArray, FloatElementsReadAnyLayoutAndTypeInLogicalOrder) {
    for (const DataType type : {DataType::float16, DataType::float32, DataType::float64, DataType::int32}) {
        // A 2 x 3 view in column-major order over a padded 4 x 2 block.
        const auto backing = std::make_shared<MultiArray>(MultiArray::Shape{4, 2}, type);
        for (std::size_t index = 0; index < backing->count(); ++index) {
            backing->setValue(index, 99);
        }
        MultiArray view(backing->storage(), backing->dataPointer(), {2, 3}, type, {1, 2});
        for (std::size_t index = 0; index < view.count(); ++index) {
            view.setValue(index, static_cast<double>(index) - 2);
        }
        EXPECT_EQ(platform::ml::floatElements(view), (std::vector<float>{-2, -1, 0, 1, 2, 3}))
            << platform::ml::rawValue(type);
    }
    EXPECT_TRUE(platform::ml::floatElements(MultiArray({0, 3}, DataType::float32)).empty());
}

} // namespace
