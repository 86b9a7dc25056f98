#pragma once

#include "platform/ml/MultiArray.hpp"

#include <vector>

namespace platform::ml {

// Every element in logical row-major order as a 32-bit float, read through the array's strides and converted
// from its element type, so padded layouts and half-precision or integer outputs read like dense floats.
std::vector<float> floatElements(const MultiArray& array);

} // namespace platform::ml
