#include "QuorlAudio/asr/streaming/UnifiedJointDecisionFeatureProvider.hpp"

#include <utility>

namespace quorl {

UnifiedJointDecisionFeatureProvider::UnifiedJointDecisionFeatureProvider(
    std::shared_ptr<platform::ml::MultiArray> encoderStep, std::shared_ptr<platform::ml::MultiArray> decoderStep)
    : encoderStep_(std::move(encoderStep)), decoderStep_(std::move(decoderStep)) {}

std::set<std::string> UnifiedJointDecisionFeatureProvider::featureNames() const {
    return {"encoder_step", "decoder_step"};
}

std::optional<platform::ml::FeatureValue>
UnifiedJointDecisionFeatureProvider::featureValue(const std::string& name) const {
    if (name == "encoder_step") {
        return encoderStep_;
    }
    if (name == "decoder_step") {
        return decoderStep_;
    }
    return std::nullopt;
}

} // namespace quorl
