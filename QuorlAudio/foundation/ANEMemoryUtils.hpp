#pragma once

#include "platform/core/Error.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

// Model-input memory laid out for the Neural Engine: 64-byte-aligned allocations whose innermost rows are
// padded to a multiple of 16 elements (the engine's tile), with stride-aware copies, views and half-precision
// conversion.
namespace quorl::ANEMemoryUtils {

inline constexpr std::size_t aneAlignment = 64;
inline constexpr std::size_t aneTileSize = 16;

class ANEMemoryError : public platform::core::Error {
public:
    enum class Kind { allocationFailed, invalidShape, unsupportedDataType };

    static ANEMemoryError allocationFailed();
    static ANEMemoryError invalidShape();
    static ANEMemoryError unsupportedDataType();

    Kind kind() const { return kind_; }
    bool operator==(const ANEMemoryError& other) const { return kind_ == other.kind_; }

private:
    ANEMemoryError(Kind kind, const char* description);

    Kind kind_;
};

// The padded layout of a shape: innermost stride 1, the next one the innermost dimension raised to a
// multiple of 16, each further one the next inner stride times the next inner dimension. A one-dimensional
// shape is not padded; an empty shape has no strides.
std::vector<std::size_t> calculateOptimalStrides(const std::vector<std::size_t>& shape);

// A new array with the padded layout over 64-byte-aligned memory of stride(0) x d0 elements, rounded up to a
// multiple of 64 bytes (at least 64), freed with the array; zero-filled (padding included) when asked.
// Throws ANEMemoryError::allocationFailed when the memory cannot be had.
std::shared_ptr<platform::ml::MultiArray> createAlignedArray(const std::vector<std::size_t>& shape,
                                                             platform::ml::DataType dataType, bool zeroClear);

// An array over the source's memory from element `offset` on, with the source's type, the given shape and
// the given strides (the padded layout of the shape when none). The view shares the source's storage, so it
// stays valid however long it lives. Throws ANEMemoryError::invalidShape when the view's extent from the
// offset would pass the end of the source's extent, or when the strides do not match the shape's rank.
std::shared_ptr<platform::ml::MultiArray>
createZeroCopyView(platform::ml::MultiArray& source, std::size_t offset, const std::vector<std::size_t>& shape,
                   const std::optional<std::vector<std::size_t>>& strides = std::nullopt);

// Copies the elements of `source` into `destination`, whose strides may differ; padding is not copied
// between different layouts. Both must have the same shape and type with innermost strides of 1: otherwise
// ANEMemoryError::invalidShape (ANEMemoryError::unsupportedDataType for different types).
void strideAwareCopy(const platform::ml::MultiArray& source, platform::ml::MultiArray& destination);

// A new aligned half-precision array with the source's shape and values. Throws
// ANEMemoryError::unsupportedDataType unless the source holds 32-bit floats.
std::shared_ptr<platform::ml::MultiArray> convertToFloat16(const platform::ml::MultiArray& source);

// Bytes per element: 2 for 16-bit floats, 8 for 64-bit floats, 4 otherwise.
std::size_t getElementSize(platform::ml::DataType dataType);

} // namespace quorl::ANEMemoryUtils
