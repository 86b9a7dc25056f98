#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/core/CheckedProduct.hpp"
#include "platform/dsp/Half.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/MultiArrayRows.hpp"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace quorl::ANEMemoryUtils {

using platform::ml::DataType;
using platform::ml::MultiArray;

namespace {

std::size_t roundedUp(std::size_t value, std::size_t multiple) {
    if (value > std::numeric_limits<std::size_t>::max() - (multiple - 1)) {
        throw ANEMemoryError::allocationFailed();
    }
    return (value + multiple - 1) / multiple * multiple;
}

std::size_t paddedExtent(const std::vector<std::size_t>& shape, const std::vector<std::size_t>& strides) {
    return shape.empty() ? 0 : platform::core::checkedProduct(strides[0], shape[0], ANEMemoryError::allocationFailed);
}

// The elements from the first to the last one the layout addresses: what a block copy of two arrays with
// the same layout must move. It leaves out the padding after the last row, which the memory of a wrapped
// array need not hold.
std::size_t span(const MultiArray& array) {
    if (array.count() == 0) {
        return 0;
    }
    std::size_t last = 0;
    for (std::size_t dimension = 0; dimension < array.shape().size(); ++dimension) {
        last += (array.shape()[dimension] - 1) * array.strides()[dimension];
    }
    return last + 1;
}

const unsigned char* bytesOf(const MultiArray& array) { return static_cast<const unsigned char*>(array.dataPointer()); }

unsigned char* bytesOf(MultiArray& array) { return static_cast<unsigned char*>(array.dataPointer()); }

void checkCopyable(const MultiArray& source, const MultiArray& destination) {
    if (source.dataType() != destination.dataType()) {
        throw ANEMemoryError::unsupportedDataType();
    }
    if (source.shape() != destination.shape() || source.strides().back() != 1 || destination.strides().back() != 1) {
        throw ANEMemoryError::invalidShape();
    }
}

void copyBlock(const MultiArray& source, MultiArray& destination) {
    if (source.dataType() == DataType::float32) {
        platform::dsp::copy(source.data<float>(), destination.data<float>(), span(source));
    } else {
        std::memcpy(destination.dataPointer(), source.dataPointer(), span(source) * getElementSize(source.dataType()));
    }
}

void copyRows(const MultiArray& source, MultiArray& destination) {
    const std::size_t size = getElementSize(source.dataType());
    const std::size_t rowBytes = source.shape().back() * size;
    const auto block = platform::ml::uniformRows(source.shape(), source.strides(), destination.strides());
    if (block && source.dataType() == DataType::float32) {
        platform::dsp::matrixMove(source.data<float>(), block->firstRowStride, destination.data<float>(),
                                  block->secondRowStride, block->rows, block->columns);
        return;
    }
    platform::ml::forEachRow(source.shape(), source.strides(), destination.strides(),
                             [&](std::size_t sourceOffset, std::size_t destinationOffset) {
                                 std::memcpy(bytesOf(destination) + destinationOffset * size,
                                             bytesOf(source) + sourceOffset * size, rowBytes);
                             });
}

} // namespace

ANEMemoryError::ANEMemoryError(Kind kind, const char* description) : Error(description), kind_(kind) {}

ANEMemoryError ANEMemoryError::allocationFailed() {
    return ANEMemoryError(Kind::allocationFailed, "ANEMemoryError.allocationFailed");
}

ANEMemoryError ANEMemoryError::invalidShape() {
    return ANEMemoryError(Kind::invalidShape, "ANEMemoryError.invalidShape");
}

ANEMemoryError ANEMemoryError::unsupportedDataType() {
    return ANEMemoryError(Kind::unsupportedDataType, "ANEMemoryError.unsupportedDataType");
}

std::vector<std::size_t> calculateOptimalStrides(const std::vector<std::size_t>& shape) {
    std::vector<std::size_t> strides(shape.size());
    if (shape.empty()) {
        return strides;
    }
    strides.back() = 1;
    for (std::size_t dimension = shape.size() - 1; dimension-- > 0;) {
        const std::size_t inner = dimension + 1;
        strides[dimension] =
            inner == shape.size() - 1
                ? roundedUp(shape[inner], aneTileSize)
                : platform::core::checkedProduct(strides[inner], shape[inner], ANEMemoryError::allocationFailed);
    }
    return strides;
}

std::shared_ptr<MultiArray> createAlignedArray(const std::vector<std::size_t>& shape, DataType dataType,
                                               bool zeroClear) {
    auto strides = calculateOptimalStrides(shape);
    const std::size_t bytes = std::max(
        aneAlignment, roundedUp(platform::core::checkedProduct(paddedExtent(shape, strides), getElementSize(dataType),
                                                               ANEMemoryError::allocationFailed),
                                aneAlignment));
    std::unique_ptr<void, decltype(&std::free)> memory(std::aligned_alloc(aneAlignment, bytes), std::free);
    if (memory == nullptr) {
        throw ANEMemoryError::allocationFailed();
    }
    if (zeroClear) {
        std::memset(memory.get(), 0, bytes);
    }
    return std::make_shared<MultiArray>(std::shared_ptr<void>(std::move(memory)), nullptr, shape, dataType,
                                        std::move(strides));
}

std::shared_ptr<MultiArray> createZeroCopyView(MultiArray& source, std::size_t offset,
                                               const std::vector<std::size_t>& shape,
                                               const std::optional<std::vector<std::size_t>>& strides) {
    auto viewStrides = strides.value_or(calculateOptimalStrides(shape));
    if (viewStrides.size() != shape.size()) {
        throw ANEMemoryError::invalidShape();
    }
    const std::size_t sourceExtent = source.extent();
    const std::size_t viewExtent =
        shape.empty() ? 0 : platform::core::checkedProduct(viewStrides[0], shape[0], ANEMemoryError::allocationFailed);
    if (offset > sourceExtent || viewExtent > sourceExtent - offset) {
        throw ANEMemoryError::invalidShape();
    }
    auto view =
        std::make_shared<MultiArray>(source.storage(), bytesOf(source) + offset * getElementSize(source.dataType()),
                                     shape, source.dataType(), std::move(viewStrides));
    if (view->extent() > sourceExtent - offset) {
        throw ANEMemoryError::invalidShape();
    }
    return view;
}

void strideAwareCopy(const MultiArray& source, MultiArray& destination) {
    if (source.shape().empty()) {
        return;
    }
    checkCopyable(source, destination);
    if (source.strides() == destination.strides()) {
        copyBlock(source, destination);
    } else {
        copyRows(source, destination);
    }
}

std::shared_ptr<MultiArray> convertToFloat16(const MultiArray& source) {
    if (source.dataType() != DataType::float32) {
        throw ANEMemoryError::unsupportedDataType();
    }
    auto result = createAlignedArray(source.shape(), DataType::float16, false);
    if (source.count() == 0) {
        return result;
    }
    const auto* from = source.data<float>();
    auto* to = result->data<platform::dsp::Half>();
    if (source.strides() == result->strides()) {
        platform::dsp::floatToHalf(from, to, span(source));
        return result;
    }
    const std::size_t columns = source.shape().back();
    const std::size_t sourceStep = source.strides().back();
    platform::ml::forEachRow(
        source.shape(), source.strides(), result->strides(), [&](std::size_t sourceOffset, std::size_t resultOffset) {
            if (sourceStep == 1) {
                platform::dsp::floatToHalf(from + sourceOffset, to + resultOffset, columns);
                return;
            }
            for (std::size_t column = 0; column < columns; ++column) {
                to[resultOffset + column] = static_cast<platform::dsp::Half>(from[sourceOffset + column * sourceStep]);
            }
        });
    return result;
}

std::size_t getElementSize(DataType dataType) { return platform::ml::elementSize(dataType); }

} // namespace quorl::ANEMemoryUtils
