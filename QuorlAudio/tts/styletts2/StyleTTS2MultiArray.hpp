#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Moving the synthesis chain's flat row-major tensors into and out of the runtime's arrays.
namespace quorl::StyleTTS2MultiArray {

// A dense array of the shape holding the values; throws platform::ml::ModelError when the shape does not hold
// exactly that many values.
std::shared_ptr<platform::ml::MultiArray> makeFloat32(std::span<const float> values,
                                                      const std::vector<std::size_t>& shape);
std::shared_ptr<platform::ml::MultiArray> makeInt32(std::span<const std::int32_t> values,
                                                    const std::vector<std::size_t>& shape);

// Every element in logical row-major order as 32-bit floats (half and integer values widened, doubles
// narrowed), read through the array's strides so a padded layout gives its elements and not its padding.
std::vector<float> extractFloats(const platform::ml::MultiArray& array);

// The shape as signed integers, as messages print it.
std::vector<std::int64_t> shape(const platform::ml::MultiArray& of);

} // namespace quorl::StyleTTS2MultiArray
