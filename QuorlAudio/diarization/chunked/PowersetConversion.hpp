#pragma once

#include "QuorlAudio/foundation/ANEMemoryOptimizer.hpp"

#include <cstddef>
#include <vector>

namespace quorl {

// Turns powerset class scores, [batch][frame][class], into the activity of three local speakers,
// [batch][frame][speaker] with values 0 or 1: each frame takes its best class (the lowest index among equal
// scores) and marks the speakers that class stands for. Class 0 is nobody, 1 to 3 one speaker each, 4 to 6 the
// pairs (0, 1), (0, 2) and (1, 2). Every batch is read for the frame count of batch 0; a batch with fewer frames,
// or a best class above 6, is DiarizerError::processingFailed.
namespace PowersetConversion {

using Matrix = std::vector<std::vector<std::vector<float>>>;

inline constexpr std::size_t classCount = 7;
inline constexpr std::size_t speakerCount = 3;

// Marks the speakers in one aligned buffer; falls back to plainConversion when the buffer cannot be allocated.
Matrix alignedConversion(const Matrix& scores, ANEMemoryOptimizer& memoryOptimizer);
// The same result with plain arrays.
Matrix plainConversion(const Matrix& scores);

} // namespace PowersetConversion

} // namespace quorl
