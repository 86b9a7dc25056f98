#include "QuorlAudio/asr/streaming/UnifiedDecoderFeatureProvider.hpp"

#include <utility>

namespace quorl {

UnifiedDecoderFeatureProvider::UnifiedDecoderFeatureProvider(Inputs inputs)
    : hIn_(std::move(inputs.hIn)), cIn_(std::move(inputs.cIn)), targets_(std::move(inputs.targets)),
      targetLength_(std::move(inputs.targetLength)) {}

std::set<std::string> UnifiedDecoderFeatureProvider::featureNames() const {
    return {"targets", "target_length", "h_in", "c_in"};
}

std::optional<platform::ml::FeatureValue> UnifiedDecoderFeatureProvider::featureValue(const std::string& name) const {
    if (name == "targets") {
        return targets_;
    }
    if (name == "target_length") {
        return targetLength_;
    }
    if (name == "h_in") {
        return hIn_;
    }
    if (name == "c_in") {
        return cIn_;
    }
    return std::nullopt;
}

} // namespace quorl
