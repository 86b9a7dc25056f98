#include "QuorlAudio/foundation/AudioStreamError.hpp"

#include <string>

namespace quorl {
namespace {

std::string genericDescription(AudioStreamError::Kind kind) {
    std::string description = "The operation couldn\u2019t be completed. (QuorlAudio.AudioStreamError error ";
    return description.append(std::to_string(static_cast<int>(kind))).append(".)");
}

} // namespace

AudioStreamError::AudioStreamError(Kind kind) : Error(genericDescription(kind)), kind_(kind) {}

AudioStreamError AudioStreamError::bufferTooSmall() { return AudioStreamError(Kind::bufferTooSmall); }

AudioStreamError AudioStreamError::invalidChunkSkip() { return AudioStreamError(Kind::invalidChunkSkip); }

AudioStreamError AudioStreamError::invalidChunkDuration() { return AudioStreamError(Kind::invalidChunkDuration); }

} // namespace quorl
