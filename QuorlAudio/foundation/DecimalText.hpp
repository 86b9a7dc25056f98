#pragma once

#include <string>

namespace quorl {

// A double as the toolkit's log lines print it: the shortest text that reads back as the same value, always
// with a decimal point in plain notation ("48000.0", "0.3333333333333333"), in exponent notation only for
// very large or very small magnitudes ("1e+16", "1e-05"), and "inf", "-inf" or "nan".
std::string decimalText(double value);

} // namespace quorl
