#include "platform/text/DecimalInteger.hpp"

#include <charconv>

namespace platform::text {

std::optional<std::int64_t> decimalInteger(std::string_view text) {
    const bool signedText = text.starts_with('+') || text.starts_with('-');
    const std::string_view digits = signedText ? text.substr(1) : text;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    // from_chars reads the minus sign itself but not a plus sign; it refuses what lies beyond the range.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace platform::text
