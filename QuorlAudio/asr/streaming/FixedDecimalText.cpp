#include "QuorlAudio/asr/streaming/FixedDecimalText.hpp"

#include <charconv>

namespace quorl {

std::string fixedDecimalText(double value, int digits) {
    // Room for the largest double written out in full.
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
    return std::string(text, written.ptr);
}

} // namespace quorl
