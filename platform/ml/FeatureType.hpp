#pragma once

#include "platform/core/RawValue.hpp"

#include <optional>
#include <string_view>

namespace platform::ml {

// The kind of value a model feature carries; `real` is a double-precision number and `state` a buffer that
// lives in a model state rather than in the features of a prediction.
enum class FeatureType { int64, real, string, multiArray, dictionary, state };

// "int64", "double", "string", "multiArray", "dictionary", "state": the names used in model.json.
std::string_view rawValue(FeatureType type);

} // namespace platform::ml

namespace platform::core {

template <> std::optional<ml::FeatureType> fromRawValue<ml::FeatureType>(std::string_view rawValue);

} // namespace platform::core
