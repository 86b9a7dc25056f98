#include "platform/core/Concatenated.hpp"

namespace platform::core {

std::string concatenated(std::initializer_list<std::string_view> pieces) {
    std::size_t length = 0;
    for (const auto piece : pieces) {
        length += piece.size();
    }
    std::string text;
    text.reserve(length);
    for (const auto piece : pieces) {
        text.append(piece);
    }
    return text;
}

std::string joinedNonEmpty(std::string_view first, std::string_view second) {
    if (first.empty() || second.empty()) {
        return std::string(first.empty() ? second : first);
    }
    return concatenated({first, " ", second});
}

} // namespace platform::core
