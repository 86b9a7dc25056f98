#pragma once

#include <cstddef>

namespace platform::dsp {

using Half = _Float16;

// Conversions between single and half precision; narrowing rounds to nearest, ties to even, keeps
// subnormals, turns values beyond the half range into infinities and keeps NaN a NaN. Widening is exact.
void floatToHalf(const float* source, Half* destination, std::size_t count);
void halfToFloat(const Half* source, float* destination, std::size_t count);

} // namespace platform::dsp
