#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// Moving the Supertonic-3 synthesiser's flat row-major tensors into and out of the runtime's arrays.
namespace quorl::Supertonic3MultiArray {

// A dense array of the shape holding the values in order. Throws Supertonic3Error::invalidTensorShape (stage
// "makeFloat32" or "makeInt32", expected "<count> (shape [..])", got the number of values) when the shape does
// not hold exactly that many values; an empty shape holds none.
std::shared_ptr<platform::ml::MultiArray> makeFloat32(std::span<const float> values,
                                                      const std::vector<std::size_t>& shape);
std::shared_ptr<platform::ml::MultiArray> makeInt32(std::span<const std::int32_t> values,
                                                    const std::vector<std::size_t>& shape);

// Every element in logical row-major order as a 32-bit float (half and integer values widened, doubles
// narrowed).
std::vector<float> extractFloats(const platform::ml::MultiArray& array);

} // namespace quorl::Supertonic3MultiArray
