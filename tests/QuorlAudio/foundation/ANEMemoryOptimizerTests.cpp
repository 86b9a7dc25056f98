#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"
#include "QuorlAudio/foundation/DiarizerError.hpp"

#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::valuesOf;
using Shape = std::vector<std::size_t>;

template <class Action> void expectDiarizerError(DiarizerError::Kind kind, Action action) {
    try {
        action();
        ADD_FAILURE() << "no DiarizerError";
    } catch (const DiarizerError& error) {
        EXPECT_EQ(error.kind(), kind) << error.what();
    }
}

TEST(ANEMemoryOptimizer, PooledBuffersAreSharedPerKeyUntilTheShapeOrTypeChanges) {
    ANEMemoryOptimizer optimizer;
    auto first = optimizer.getPooledBuffer("mel", {1, 80}, DataType::float32);
    first->at<float>(3) = 7;
    auto again = optimizer.getPooledBuffer("mel", {1, 80}, DataType::float32);
    EXPECT_EQ(again, first);
    EXPECT_EQ(again->at<float>(3), 7.0f) << "a pooled buffer is not cleared";

    auto reshaped = optimizer.getPooledBuffer("mel", {1, 40}, DataType::float32);
    EXPECT_NE(reshaped, first);
    EXPECT_NE(optimizer.getPooledBuffer("mel", {1, 40}, DataType::int32), reshaped);
    EXPECT_NE(optimizer.getPooledBuffer("mel", {1, 80}, DataType::float32), first) << "the old buffer left the pool";

    optimizer.initializePooledBuffer("audio", {4}, DataType::float32);
    auto initialized = optimizer.getPooledBuffer("audio", {4}, DataType::float32);
    optimizer.clearBufferPool();
    EXPECT_NE(optimizer.getPooledBuffer("audio", {4}, DataType::float32), initialized);
}

TEST(ANEMemoryOptimizer, AllocationFailuresBecomeTheDiarizerError) {
    ANEMemoryOptimizer optimizer;
    const std::size_t huge = std::numeric_limits<std::size_t>::max() / 4;
    expectDiarizerError(DiarizerError::Kind::memoryAllocationFailed, [&] {
        optimizer.getPooledBuffer("huge", {huge, 2}, DataType::float32);
    });
    auto aligned = optimizer.createAlignedArray({2, 3}, DataType::float32);
    EXPECT_EQ(aligned->strides(), (Shape{16, 1}));
}

TEST(ANEMemoryOptimizer, OptimizedCopyWritesFromTheOffsetAndOptionallyPads) {
    const struct {
        std::size_t values;
        std::size_t offset;
        bool pad;
        std::vector<double> expected;
    } cases[] = {
        {5, 3, true, {-1, -1, -1, 1, 2, 3, 4, 5, 0, 0}},
        {5, 3, false, {-1, -1, -1, 1, 2, 3, 4, 5, -1, -1}},
        {20, 0, true, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {0, 10, true, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
    };
    ANEMemoryOptimizer optimizer;
    for (const auto& testCase : cases) {
        auto destination = testsupport::makeArray({10}, std::vector<double>(10, -1));
        std::vector<float> source(testCase.values);
        for (std::size_t index = 0; index < source.size(); ++index) {
            source[index] = static_cast<float>(index + 1);
        }
        optimizer.optimizedCopy(source, *destination, testCase.offset, testCase.pad);
        EXPECT_EQ(valuesOf(*destination), testCase.expected) << testCase.values << " at " << testCase.offset;
    }
}

TEST(ANEMemoryOptimizer, OptimizedCopySkipsOtherTypesAndRefusesAnOffsetPastTheEnd) {
    ANEMemoryOptimizer optimizer;
    const std::vector<float> values{1, 2, 3};
    auto halves = testsupport::makeArray({3}, {9, 9, 9}, DataType::float16);
    optimizer.optimizedCopy(values, *halves, 0, true);
    EXPECT_EQ(valuesOf(*halves), (std::vector<double>{9, 9, 9}));

    auto floats = testsupport::makeArray({3}, {0, 0, 0});
    expectDiarizerError(DiarizerError::Kind::invalidArrayBounds,
                        [&] { optimizer.optimizedCopy(values, *floats, 4, true); });

    // Three elements over one float: a linear copy of three values would run past the memory.
    float single = 0;
    MultiArray broadcast(&single, {3}, DataType::float32, {0}, nullptr);
    optimizer.optimizedCopy(values, broadcast, 0, true);
    EXPECT_EQ(single, 1.0f);
}

TEST(ANEMemoryOptimizer, ViewsStayWithinTheSourceElementsAndItsPaddedExtent) {
    ANEMemoryOptimizer optimizer;
    auto source = optimizer.createAlignedArray({100}, DataType::float32);
    for (std::size_t index = 0; index < 100; ++index) {
        source->at<float>(index) = static_cast<float>(index);
    }
    auto view = optimizer.createZeroCopyView(*source, {10}, 90);
    EXPECT_EQ(view->at<float>(9), 99.0f);
    view->at<float>(0) = -90;
    EXPECT_EQ(source->at<float>(90), -90.0f);

    expectDiarizerError(DiarizerError::Kind::invalidArrayBounds,
                        [&] { optimizer.createZeroCopyView(*source, {10}, 91); });
    // Ten elements fit, but the view's padded row of 16 would run past the source's memory.
    expectDiarizerError(DiarizerError::Kind::invalidArrayBounds, [&] {
        optimizer.createZeroCopyView(*source, {1, 10}, 90);
    });

    source.reset();
    optimizer.clearBufferPool();
    EXPECT_EQ(view->at<float>(9), 99.0f) << "the view keeps the storage alive";
}

} // namespace
} // namespace quorl
