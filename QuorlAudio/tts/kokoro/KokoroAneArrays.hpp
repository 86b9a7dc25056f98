#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The multi-arrays of the Kokoro chain: its fixed inputs built from plain values, and every stage output that
// feeds a later stage copied into a fresh dense array of the element type that stage takes. The number of values
// always equals the shape's product; callers guarantee it.
namespace quorl::KokoroAneArrays {

using Shape = platform::ml::MultiArray::Shape;
using ArrayPointer = std::shared_ptr<platform::ml::MultiArray>;

ArrayPointer int32Array(const Shape& shape, std::span<const std::int32_t> values);
ArrayPointer float16Array(const Shape& shape, std::span<const float> values);
ArrayPointer float32Array(const Shape& shape, std::span<const float> values);

// The source's values in linear index order, converted where the types differ: a byte copy for a dense source
// of the same type, one conversion pass between dense single and half precision, and an element-by-element
// copy through the strides for anything else.
ArrayPointer float16Array(const Shape& shape, const platform::ml::MultiArray& source);
ArrayPointer float32Array(const Shape& shape, const platform::ml::MultiArray& source);

// The values in linear index order as 32-bit floats.
std::vector<float> readFloats(const platform::ml::MultiArray& array);

} // namespace quorl::KokoroAneArrays
