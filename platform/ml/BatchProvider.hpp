#pragma once

#include "platform/ml/FeatureProvider.hpp"

#include <cstddef>
#include <memory>

namespace platform::ml {

// An ordered batch of feature providers, for batch predictions and their results.
class BatchProvider {
public:
    virtual ~BatchProvider() = default;

    virtual std::size_t count() const = 0;
    // The provider at a position below count().
    virtual std::shared_ptr<const FeatureProvider> features(std::size_t index) const = 0;
};

} // namespace platform::ml
