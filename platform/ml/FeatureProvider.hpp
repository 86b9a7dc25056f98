#pragma once

#include "platform/ml/FeatureValue.hpp"

#include <optional>
#include <set>
#include <string>

namespace platform::ml {

// Named features handed to a model or returned by it.
class FeatureProvider {
public:
    virtual ~FeatureProvider() = default;

    virtual std::set<std::string> featureNames() const = 0;
    // The value stored under the name, or none.
    virtual std::optional<FeatureValue> featureValue(const std::string& name) const = 0;
};

} // namespace platform::ml
