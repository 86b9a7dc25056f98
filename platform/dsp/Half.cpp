#include "platform/dsp/Half.hpp"

namespace platform::dsp {

// The language's conversion of _Float16 rounds to nearest with ties to even, keeps subnormals, turns
// values beyond the half range into infinities and keeps NaN a NaN.
void floatToHalf(const float* source, Half* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = static_cast<Half>(source[index]);
    }
}

void halfToFloat(const Half* source, float* destination, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        destination[index] = static_cast<float>(source[index]);
    }
}

} // namespace platform::dsp
