#pragma once

#include <span>

namespace quorl {

// The squares of the values summed in 32-bit floats, first to last. The loudness and magnitude gates of the
// diarizers compare this exact sum with their thresholds, so its order of summation is fixed.
float sumOfSquaresInOrder(std::span<const float> values);

} // namespace quorl
