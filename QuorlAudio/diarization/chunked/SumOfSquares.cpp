#include "QuorlAudio/diarization/chunked/SumOfSquares.hpp"

namespace quorl {

float sumOfSquaresInOrder(std::span<const float> values) {
    float sum = 0;
    for (const float value : values) {
        sum += value * value;
    }
    return sum;
}

} // namespace quorl
