#pragma once

#include "platform/ml/MultiArray.hpp"

namespace platform::ml {

// Copies every element of `source` into `destination`, each array addressed through its own strides, so
// padding is neither read as data nor written. Throws ModelError unless both have the same shape and type.
void copyElements(const MultiArray& source, MultiArray& destination);

} // namespace platform::ml
