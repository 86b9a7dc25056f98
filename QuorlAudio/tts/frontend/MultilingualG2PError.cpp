#include "QuorlAudio/tts/frontend/MultilingualG2PError.hpp"

namespace quorl {

MultilingualG2PError::MultilingualG2PError(Kind kind, const std::string& description)
    : platform::core::Error(description), kind_(kind) {}

MultilingualG2PError MultilingualG2PError::modelLoadFailed(const std::string& text) {
    return {Kind::modelLoadFailed, "Failed to load multilingual G2P CoreML model: " + text};
}

MultilingualG2PError MultilingualG2PError::encoderPredictionFailed() {
    return {Kind::encoderPredictionFailed, "Multilingual G2P encoder prediction failed."};
}

MultilingualG2PError MultilingualG2PError::decoderPredictionFailed() {
    return {Kind::decoderPredictionFailed, "Multilingual G2P decoder prediction failed."};
}

} // namespace quorl
