#include "QuorlAudio/asr/streaming/UnifiedEncoderFeatureProvider.hpp"

#include <utility>

namespace quorl {

UnifiedEncoderFeatureProvider::UnifiedEncoderFeatureProvider(std::shared_ptr<platform::ml::MultiArray> mel,
                                                             std::shared_ptr<platform::ml::MultiArray> melLength)
    : mel_(std::move(mel)), melLength_(std::move(melLength)) {}

std::set<std::string> UnifiedEncoderFeatureProvider::featureNames() const { return {"mel", "mel_length"}; }

std::optional<platform::ml::FeatureValue> UnifiedEncoderFeatureProvider::featureValue(const std::string& name) const {
    if (name == "mel") {
        return mel_;
    }
    if (name == "mel_length") {
        return melLength_;
    }
    return std::nullopt;
}

} // namespace quorl
