#include "platform/text/DecimalInteger.hpp"

#include <charconv>

namespace platform::text {

std::optional<std::int64_t> decimalInteger(std::string_view text) {
    const bool hasSign = text.starts_with('+') || text.starts_with('-');
    const std::string_view digits = hasSign ? text.substr(1) : text;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    // from_chars takes a minus sign but no plus sign.
    const std::string_view number = text.starts_with('+') ? digits : text;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace platform::text
