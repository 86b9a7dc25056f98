#pragma once

#include "platform/ml/MultiArray.hpp"

namespace quorl {

// Touches the first and the last element of an array about to be handed to a model, so its memory is
// resident when the model reads it; nothing for an array without elements.
void prefetchToNeuralEngine(const platform::ml::MultiArray& array);

} // namespace quorl
