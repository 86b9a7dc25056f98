#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstddef>

namespace platform::ml {

// The index of the greatest score of row [0, position, ·] of a [1, positions, width] array, as greedy decoders
// pick their next token: a tie keeps the lower index, and a row without scores or of nothing but NaN gives 0.
// 32-bit floats are read in place, other types by value. The caller makes sure the array has that row.
std::size_t bestScoreIndex(const MultiArray& scores, std::size_t position);

} // namespace platform::ml
