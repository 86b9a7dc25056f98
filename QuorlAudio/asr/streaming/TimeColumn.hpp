#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <memory>

namespace quorl {

// Time position `t` of a Float32 [1, H, T] array (an encoder or decoder output) as a new dense [1, H, 1]
// array, read through the strides, since a runtime's rows may be padded.
std::shared_ptr<platform::ml::MultiArray> timeColumn(const platform::ml::MultiArray& source, std::size_t t);

} // namespace quorl
