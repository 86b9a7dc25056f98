#pragma once

#include "platform/ml/BatchProvider.hpp"

#include <memory>
#include <vector>

namespace platform::ml {

// A batch over a list of providers, in list order.
class ArrayBatchProvider : public BatchProvider {
public:
    explicit ArrayBatchProvider(std::vector<std::shared_ptr<const FeatureProvider>> providers);

    std::size_t count() const override { return providers_.size(); }
    // Throws std::out_of_range for a position outside the batch.
    std::shared_ptr<const FeatureProvider> features(std::size_t index) const override;

private:
    std::vector<std::shared_ptr<const FeatureProvider>> providers_;
};

} // namespace platform::ml
