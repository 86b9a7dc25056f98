#include "QuorlAudio/tts/pockettts/PocketTtsRequiredOutput.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

namespace quorl::PocketTtsSynthesizer {

std::shared_ptr<platform::ml::MultiArray> requiredOutput(const platform::ml::FeatureProvider& outputs,
                                                         const std::string& name, const std::string& message) {
    auto array = platform::ml::multiArrayOutput(outputs, name);
    if (array == nullptr) {
        throw PocketTTSError::processingFailed(message);
    }
    return array;
}

} // namespace quorl::PocketTtsSynthesizer
