#include "platform/ml/MultiArray.hpp"

#include "platform/core/CheckedProduct.hpp"
#include "platform/ml/MessageText.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace platform::ml {

namespace {

constexpr std::size_t alignment = 64;

ModelError sizeOverflow() { return ModelError::invalidArray("size overflows"); }

std::size_t elementCount(const MultiArray::Shape& shape) {
    if (shape.empty()) {
        return 0;
    }
    std::size_t count = 1;
    for (auto dimension : shape) {
        count = core::checkedProduct(count, dimension, sizeOverflow);
    }
    return count;
}

std::shared_ptr<void> allocateZeroed(std::size_t bytes) {
    const std::size_t rounded = std::max(alignment, (bytes + alignment - 1) / alignment * alignment);
    if (rounded < bytes) {
        throw ModelError::invalidArray("size overflows");
    }
    void* memory = std::aligned_alloc(alignment, rounded);
    if (memory == nullptr) {
        throw ModelError::invalidArray(concat({"cannot allocate ", std::to_string(rounded), " bytes"}));
    }
    std::memset(memory, 0, rounded);
    return std::shared_ptr<void>(memory, std::free);
}

template <class T> T toInteger(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double clamped = std::clamp(value, static_cast<double>(std::numeric_limits<T>::lowest()),
                                      static_cast<double>(std::numeric_limits<T>::max()));
    return static_cast<T>(clamped);
}

} // namespace

MultiArray::Shape denseStrides(const MultiArray::Shape& shape) {
    MultiArray::Shape strides(shape.size());
    std::size_t stride = 1;
    for (std::size_t index = shape.size(); index-- > 0;) {
        strides[index] = stride;
        stride = core::checkedProduct(stride, std::max<std::size_t>(shape[index], 1), sizeOverflow);
    }
    return strides;
}

MultiArray::MultiArray(Shape shape, DataType dataType)
    : MultiArray(allocateZeroed(core::checkedProduct(elementCount(shape), elementSize(dataType), sizeOverflow)),
                 nullptr, shape, dataType, denseStrides(shape)) {}

MultiArray::MultiArray(void* data, Shape shape, DataType dataType, Shape strides, Deallocator deallocator)
    : MultiArray(std::shared_ptr<void>(data,
                                       [deallocator = std::move(deallocator)](void* memory) {
                                           if (deallocator) {
                                               deallocator(memory);
                                           }
                                       }),
                 data, std::move(shape), dataType, std::move(strides)) {}

MultiArray::MultiArray(std::shared_ptr<void> storage, void* data, Shape shape, DataType dataType, Shape strides)
    : storage_(std::move(storage)), data_(data != nullptr ? data : storage_.get()), shape_(std::move(shape)),
      strides_(std::move(strides)), dataType_(dataType), count_(elementCount(shape_)) {
    if (strides_.size() != shape_.size()) {
        throw ModelError::invalidArray(
            concat({"shape ", shapeText(shape_), " and strides ", shapeText(strides_), " differ in rank"}));
    }
    if (data_ == nullptr && count_ > 0) {
        throw ModelError::invalidArray(concat({"no memory for shape ", shapeText(shape_)}));
    }
}

std::size_t MultiArray::extent() const {
    if (count_ == 0) {
        return 0;
    }
    std::size_t lastElement = 0;
    for (std::size_t index = 0; index < shape_.size(); ++index) {
        lastElement += (shape_[index] - 1) * strides_[index];
    }
    return std::max(strides_[0] * shape_[0], lastElement + 1);
}

std::size_t MultiArray::offsetOf(std::size_t linearIndex) const {
    if (linearIndex >= count_) {
        throw ModelError::invalidArray(
            concat({"index ", std::to_string(linearIndex), " is outside shape ", shapeText(shape_)}));
    }
    std::size_t offset = 0;
    for (std::size_t index = shape_.size(); index-- > 0;) {
        offset += (linearIndex % shape_[index]) * strides_[index];
        linearIndex /= shape_[index];
    }
    return offset;
}

std::size_t MultiArray::offsetOf(std::span<const std::size_t> indices) const {
    if (indices.size() != shape_.size()) {
        throw ModelError::invalidArray(concat(
            {"an index of rank ", std::to_string(indices.size()), " does not address shape ", shapeText(shape_)}));
    }
    std::size_t offset = 0;
    for (std::size_t index = 0; index < indices.size(); ++index) {
        if (indices[index] >= shape_[index]) {
            throw ModelError::invalidArray(concat({"index ", std::to_string(indices[index]), " of dimension ",
                                                   std::to_string(index), " is outside shape ", shapeText(shape_)}));
        }
        offset += indices[index] * strides_[index];
    }
    return offset;
}

double MultiArray::value(std::size_t linearIndex) const {
    const std::size_t offset = offsetOf(linearIndex);
    switch (dataType_) {
    case DataType::float16: return static_cast<double>(static_cast<const dsp::Half*>(data_)[offset]);
    case DataType::float32: return static_cast<const float*>(data_)[offset];
    case DataType::float64: return static_cast<const double*>(data_)[offset];
    case DataType::int32: return static_cast<const std::int32_t*>(data_)[offset];
    }
    return 0;
}

void MultiArray::setValue(std::size_t linearIndex, double value) {
    const std::size_t offset = offsetOf(linearIndex);
    switch (dataType_) {
    case DataType::float16: static_cast<dsp::Half*>(data_)[offset] = static_cast<dsp::Half>(value); break;
    case DataType::float32: static_cast<float*>(data_)[offset] = static_cast<float>(value); break;
    case DataType::float64: static_cast<double*>(data_)[offset] = value; break;
    case DataType::int32: static_cast<std::int32_t*>(data_)[offset] = toInteger<std::int32_t>(value); break;
    }
}

void MultiArray::checkElementType(DataType requested) const {
    if (requested != dataType_) {
        throw ModelError::invalidArray(concat({"elements are ", rawValue(dataType_), ", not ", rawValue(requested)}));
    }
}

} // namespace platform::ml
