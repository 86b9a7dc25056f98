#include "Mirvo/MethodArguments.hpp"

namespace mirvo {

namespace ui = platform::ui;

MethodArguments::MethodArguments(const ui::Value& arguments) {
    if (const auto* map = arguments.get<ui::ValueMap>()) {
        map_ = *map;
    }
}

std::optional<std::string> MethodArguments::string(const std::string& key) const {
    if (const auto* text = value<std::string>(key)) {
        return *text;
    }
    return std::nullopt;
}

std::vector<std::string> MethodArguments::stringList(const std::string& key) const {
    const auto* list = value<ui::ValueList>(key);
    if (list == nullptr) {
        return {};
    }
    std::vector<std::string> strings;
    for (const auto& item : *list) {
        const auto* text = item.get<std::string>();
        if (text == nullptr) {
            return {};
        }
        strings.push_back(*text);
    }
    return strings;
}

std::optional<std::string> MethodArguments::requiredString(const std::string& key, const std::string& message,
                                                           const ui::MethodResult& result, Emptiness emptiness) const {
    auto text = string(key);
    if (!text || (emptiness == Emptiness::refused && text->empty())) {
        result.error(badArgumentsCode, message);
        return std::nullopt;
    }
    return text;
}

} // namespace mirvo
