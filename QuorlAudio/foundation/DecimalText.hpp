#pragma once

#include <string>

namespace quorl {

// A double as the toolkit's log lines print it: the shortest text that reads back as the same value, always
// with a decimal point in plain notation ("48000.0", "0.3333333333333333"), in exponent notation only for
// very large or very small magnitudes ("1e+16", "1e-05"), and "inf", "-inf" or "nan".
std::string decimalText(double value);

// A 32-bit float written as decimalText writes a double, in the float's own shortest round-trip digits: 0.8f
// is "0.8", not the nearest double's "0.800000011920929".
std::string floatDecimalText(float value);

// `value` with `digits` decimals, as printf's "%.<digits>f" writes it, with a point whatever the locale.
std::string fixedDecimalText(double value, int digits);

} // namespace quorl
