#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// The unified single-step joint decision's inputs: one encoder frame "encoder_step" [1, hidden, 1] and the
// decoder's output "decoder_step" as the decoder gave it.
class UnifiedJointDecisionFeatureProvider final : public platform::ml::FeatureProvider {
public:
    UnifiedJointDecisionFeatureProvider(std::shared_ptr<platform::ml::MultiArray> encoderStep,
                                        std::shared_ptr<platform::ml::MultiArray> decoderStep);

    std::set<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

private:
    platform::ml::FeatureValue encoderStep_;
    platform::ml::FeatureValue decoderStep_;
};

} // namespace quorl
