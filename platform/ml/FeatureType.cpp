#include "platform/ml/FeatureType.hpp"

#include <array>

namespace platform::ml {

std::string_view rawValue(FeatureType type) {
    switch (type) {
    case FeatureType::int64: return "int64";
    case FeatureType::real: return "double";
    case FeatureType::string: return "string";
    case FeatureType::multiArray: return "multiArray";
    case FeatureType::dictionary: return "dictionary";
    case FeatureType::state: return "state";
    }
    return "unknown";
}

} // namespace platform::ml

namespace platform::core {

template <> std::optional<ml::FeatureType> fromRawValue<ml::FeatureType>(std::string_view rawValue) {
    using ml::FeatureType;
    constexpr std::array cases{FeatureType::int64,      FeatureType::real,       FeatureType::string,
                               FeatureType::multiArray, FeatureType::dictionary, FeatureType::state};
    for (auto type : cases) {
        if (ml::rawValue(type) == rawValue) {
            return type;
        }
    }
    return std::nullopt;
}

} // namespace platform::core
