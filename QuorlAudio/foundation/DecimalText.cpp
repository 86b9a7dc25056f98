#include "QuorlAudio/foundation/DecimalText.hpp"

#include <charconv>
#include <cmath>
#include <iterator>
#include <string_view>

namespace quorl {

std::string decimalText(double value) {
    // Plain notation from 1e-4 up to 2^53, where every integer is still exact.
    constexpr double smallest = 1e-4;
    constexpr double largest = 9007199254740992.0;
    const double magnitude = std::fabs(value);
    char text[64];
    const bool plain = std::isfinite(value) && (magnitude == 0 || (magnitude >= smallest && magnitude < largest));
    const auto written = std::to_chars(text, text + sizeof text, value,
                                       plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string result(text, written.ptr);
    if (plain && result.find('.') == std::string::npos) {
        result += ".0";
    }
    return result;
}

std::string floatDecimalText(float value) {
    // Read as a double, the float's shortest digits give the double whose own shortest digits they are; "inf"
    // and "nan" read back as themselves.
    char digits[32];
    const auto written = std::to_chars(std::begin(digits), std::end(digits), value);
    double shortest = value;
    std::from_chars(std::begin(digits), written.ptr, shortest);
    return decimalText(shortest);
}

std::string fixedDecimalText(double value, int digits) {
    // Room for the largest double written out in full.
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    return std::string(text, written.ptr);
}

} // namespace quorl
