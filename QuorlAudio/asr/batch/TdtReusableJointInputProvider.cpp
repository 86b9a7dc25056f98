#include "QuorlAudio/asr/batch/TdtReusableJointInputProvider.hpp"

#include <utility>

namespace quorl {

namespace {

constexpr const char* encoderStepName = "encoder_step";
constexpr const char* decoderStepName = "decoder_step";

} // namespace

ReusableJointInputProvider::ReusableJointInputProvider(std::shared_ptr<platform::ml::MultiArray> encoderStep,
                                                       std::shared_ptr<platform::ml::MultiArray> decoderStep)
    : encoderStep(std::move(encoderStep)), decoderStep(std::move(decoderStep)) {}

std::set<std::string> ReusableJointInputProvider::featureNames() const { return {encoderStepName, decoderStepName}; }

std::optional<platform::ml::FeatureValue> ReusableJointInputProvider::featureValue(const std::string& name) const {
    if (name == encoderStepName) {
        return platform::ml::FeatureValue(encoderStep);
    }
    if (name == decoderStepName) {
        return platform::ml::FeatureValue(decoderStep);
    }
    return std::nullopt;
}

} // namespace quorl
