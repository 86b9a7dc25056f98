#include "platform/ml/MessageText.hpp"

namespace platform::ml {

std::string concat(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (auto piece : pieces) {
        text.append(piece);
    }
    return text;
}

std::string shapeText(const std::vector<std::size_t>& values) {
    std::string text = "[";
    for (std::size_t index = 0; index < values.size(); ++index) {
        if (index > 0) {
            text.append(", ");
        }
        text.append(std::to_string(values[index]));
    }
    text.append("]");
    return text;
}

} // namespace platform::ml
