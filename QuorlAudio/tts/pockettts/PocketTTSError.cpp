#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"

namespace quorl {

PocketTTSError::PocketTTSError(const TTSError& described)
    : platform::core::Error(described.what()), kind_(described.kind()), payload_(described.payload()) {}

PocketTTSError PocketTTSError::downloadFailed(const std::string& message) {
    return PocketTTSError(TTSError::downloadFailed(message));
}

PocketTTSError PocketTTSError::corruptedModel(const std::string& name) {
    return PocketTTSError(TTSError::corruptedModel(name));
}

PocketTTSError PocketTTSError::modelNotFound(const std::string& name) {
    return PocketTTSError(TTSError::modelNotFound(name));
}

PocketTTSError PocketTTSError::processingFailed(const std::string& message) {
    return PocketTTSError(TTSError::processingFailed(message));
}

} // namespace quorl
