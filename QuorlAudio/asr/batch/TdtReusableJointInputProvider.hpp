#pragma once

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <optional>
#include <set>
#include <string>

namespace quorl {

// The joint model's input for every step of a window: the same two arrays, whose contents the decoding loop
// rewrites before each prediction, so no provider is built per step.
class ReusableJointInputProvider : public platform::ml::FeatureProvider {
public:
    ReusableJointInputProvider(std::shared_ptr<platform::ml::MultiArray> encoderStep,
                               std::shared_ptr<platform::ml::MultiArray> decoderStep);

    // {"encoder_step", "decoder_step"}.
    std::set<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

    const std::shared_ptr<platform::ml::MultiArray> encoderStep;
    const std::shared_ptr<platform::ml::MultiArray> decoderStep;
};

} // namespace quorl
