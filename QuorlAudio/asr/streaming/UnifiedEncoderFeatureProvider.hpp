#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// The unified encoder's inputs for one window: "mel" [1, bins, frames] and "mel_length" [1].
class UnifiedEncoderFeatureProvider final : public platform::ml::FeatureProvider {
public:
    UnifiedEncoderFeatureProvider(std::shared_ptr<platform::ml::MultiArray> mel,
                                  std::shared_ptr<platform::ml::MultiArray> melLength);

    std::set<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

private:
    platform::ml::FeatureValue mel_;
    platform::ml::FeatureValue melLength_;
};

} // namespace quorl
