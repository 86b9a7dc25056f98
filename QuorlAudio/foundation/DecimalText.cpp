#include "QuorlAudio/foundation/DecimalText.hpp"

#include <charconv>
#include <cmath>
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

} // namespace quorl
