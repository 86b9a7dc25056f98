#include "QuorlAudio/foundation/JsonFloat.hpp"

#include <charconv>
#include <nlohmann/json.hpp>

namespace quorl {

nlohmann::json jsonFloat(float value) {
    // The shortest text that reads back as this float, read as a double, is the double that prints as that text.
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, value);
    double shortest = value;
    std::from_chars(text, written.ptr, shortest);
    return shortest;
}

} // namespace quorl
