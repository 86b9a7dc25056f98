#include "QuorlAudio/tts/frontend/G2PModelError.hpp"

namespace quorl {

G2PModelError::G2PModelError(Kind kind, const std::string& description)
    : platform::core::Error(description), kind_(kind) {}

G2PModelError G2PModelError::vocabLoadFailed(const std::string& text) {
    return {Kind::vocabLoadFailed, "Failed to load G2P g2p_vocab.json: " + text};
}

G2PModelError G2PModelError::modelLoadFailed(const std::string& text) {
    return {Kind::modelLoadFailed, "Failed to load G2P CoreML model: " + text};
}

G2PModelError G2PModelError::encoderPredictionFailed() {
    return {Kind::encoderPredictionFailed, "G2P encoder prediction failed."};
}

G2PModelError G2PModelError::decoderPredictionFailed() {
    return {Kind::decoderPredictionFailed, "G2P decoder prediction failed."};
}

} // namespace quorl
