#include "QuorlAudio/models/ModelNamesSupport.hpp"

#include <cstddef>

namespace quorl::ModelNames::support {

std::string concatenated(std::initializer_list<std::string_view> parts) {
    std::size_t length = 0;
    for (const auto part : parts) {
        length += part.size();
    }
    std::string text;
    text.reserve(length);
    for (const auto part : parts) {
        text.append(part);
    }
    return text;
}

std::set<std::string> nameSet(std::initializer_list<std::string_view> names) {
    return adding({}, names);
}

std::set<std::string> adding(std::set<std::string> set, std::initializer_list<std::string_view> names) {
    for (const auto name : names) {
        set.emplace(name);
    }
    return set;
}

} // namespace quorl::ModelNames::support
