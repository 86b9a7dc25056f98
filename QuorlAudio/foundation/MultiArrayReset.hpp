#pragma once

#include "platform/ml/MultiArray.hpp"

namespace quorl {

// Sets every element of a 32-bit float array to the value, or of a 32-bit integer array to the value
// converted to an integer (truncated toward zero, saturated at the limits); other element types are left
// unchanged. The fill follows the strides, so padding between rows stays untouched.
void reset(platform::ml::MultiArray& array, double value);

} // namespace quorl
