#pragma once

#include "platform/ml/DataType.hpp"
#include "platform/ml/ModelError.hpp"

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform::ml {

// A typed n-dimensional array of model inputs, outputs and states. Held by std::shared_ptr: the runtime
// hands back the very objects callers gave it (output backings), so identity matters and copies are not
// allowed. Shape and strides are in elements, outermost first; the memory is shared ownership so that views
// on part of an array keep the whole storage alive.
//
// An array with an empty shape has no elements. Element access through an index follows the strides; hot
// loops take the raw typed pointer and walk the strides themselves.
class MultiArray {
public:
    using Shape = std::vector<std::size_t>;
    using Deallocator = std::function<void(void*)>;

    // Dense row-major array in newly allocated, zero-filled, 64-byte-aligned memory.
    MultiArray(Shape shape, DataType dataType);
    // Wraps caller memory; the deallocator runs once when the last array using the memory is released.
    MultiArray(void* data, Shape shape, DataType dataType, Shape strides, Deallocator deallocator);
    // An array over memory owned by `storage` (typically another array's storage), starting at `data`.
    MultiArray(std::shared_ptr<void> storage, void* data, Shape shape, DataType dataType, Shape strides);

    MultiArray(const MultiArray&) = delete;
    MultiArray& operator=(const MultiArray&) = delete;

    const Shape& shape() const { return shape_; }
    const Shape& strides() const { return strides_; }
    DataType dataType() const { return dataType_; }
    // The number of elements: the product of the shape; 0 for an empty shape.
    std::size_t count() const { return count_; }
    // The number of elements from dataPointer() that the layout spans, padding included:
    // the larger of stride(0) x shape(0) and the span of the last element; 0 without elements.
    std::size_t extent() const;

    void* dataPointer() { return data_; }
    const void* dataPointer() const { return data_; }
    const std::shared_ptr<void>& storage() const { return storage_; }

    // The typed start of the memory; throws ModelError when T is not the array's element type.
    template <class T> T* data() {
        checkElementType(dataTypeOf<T>());
        return static_cast<T*>(data_);
    }
    template <class T> const T* data() const {
        checkElementType(dataTypeOf<T>());
        return static_cast<const T*>(data_);
    }

    // Storage offset, in elements from dataPointer(), of a logical row-major index or of a multi-index.
    // Throws ModelError for an index outside the shape.
    std::size_t offsetOf(std::size_t linearIndex) const;
    std::size_t offsetOf(std::span<const std::size_t> indices) const;

    // Typed element access through the strides; T must be the element type.
    template <class T> T& at(std::size_t linearIndex) { return data<T>()[offsetOf(linearIndex)]; }
    template <class T> const T& at(std::size_t linearIndex) const { return data<T>()[offsetOf(linearIndex)]; }
    template <class T> T& at(std::initializer_list<std::size_t> indices) {
        return data<T>()[offsetOf(std::span(indices.begin(), indices.size()))];
    }
    template <class T> const T& at(std::initializer_list<std::size_t> indices) const {
        return data<T>()[offsetOf(std::span(indices.begin(), indices.size()))];
    }

    // Element access by number whatever the element type, as a subscript does: values convert to and from
    // double (an integer array truncates toward zero and saturates at its limits; NaN becomes 0).
    double value(std::size_t linearIndex) const;
    void setValue(std::size_t linearIndex, double value);

private:
    void checkElementType(DataType requested) const;

    std::shared_ptr<void> storage_;
    void* data_;
    Shape shape_;
    Shape strides_;
    DataType dataType_;
    std::size_t count_;
};

// The row-major strides of a dense array of the shape.
MultiArray::Shape denseStrides(const MultiArray::Shape& shape);

} // namespace platform::ml
