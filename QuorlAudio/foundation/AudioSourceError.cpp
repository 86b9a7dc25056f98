#include "QuorlAudio/foundation/AudioSourceError.hpp"

#include <utility>

namespace quorl {

AudioSourceError::AudioSourceError(Kind kind, const std::string& description, std::string message)
    : Error(description), kind_(kind), message_(std::move(message)) {}

AudioSourceError AudioSourceError::processingFailed(const std::string& message) {
    return AudioSourceError(Kind::processingFailed, "Processing failed: " + message, message);
}

} // namespace quorl
