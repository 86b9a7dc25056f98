#include "platform/ml/ArrayBatchProvider.hpp"

#include "platform/ml/MessageText.hpp"

#include <stdexcept>
#include <string>
#include <utility>

namespace platform::ml {

ArrayBatchProvider::ArrayBatchProvider(std::vector<std::shared_ptr<const FeatureProvider>> providers)
    : providers_(std::move(providers)) {}

std::shared_ptr<const FeatureProvider> ArrayBatchProvider::features(std::size_t index) const {
    if (index >= providers_.size()) {
        throw std::out_of_range(concat(
            {"Batch position ", std::to_string(index), " is outside a batch of ", std::to_string(providers_.size())}));
    }
    return providers_[index];
}

} // namespace platform::ml
