#include "platform/text/TextPieces.hpp"

#include <algorithm>

namespace platform::text {

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(separator), text.size());
        if (end > 0) {
            pieces.push_back(text.substr(0, end));
        }
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return pieces;
}

std::string joined(std::span<const std::string> pieces, std::string_view separator) {
    std::string text;
    for (const std::string& piece : pieces) {
        if (&piece != pieces.data()) {
            text.append(separator);
        }
        text.append(piece);
    }
    return text;
}

std::string replacingAll(std::string_view text, std::string_view found, std::string_view replacement) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t at = text.find(found); at != std::string_view::npos; at = text.find(found)) {
        result.append(text.substr(0, at)).append(replacement);
        text.remove_prefix(at + found.size());
    }
    return result.append(text);
}

std::string bracketedList(std::span<const std::int64_t> values) {
    std::string text = "[";
    for (std::size_t index = 0; index < values.size(); ++index) {
        text += (index == 0 ? "" : ", ") + std::to_string(values[index]);
    }
    return text + "]";
}

std::string quotedList(std::span<const std::string> values) {
    std::string text = "[";
    for (std::size_t index = 0; index < values.size(); ++index) {
        text.append(index == 0 ? "\"" : ", \"").append(values[index]).append("\"");
    }
    return text.append("]");
}

} // namespace platform::text
