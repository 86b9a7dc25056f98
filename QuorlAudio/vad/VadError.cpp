#include "QuorlAudio/vad/VadError.hpp"

#include <utility>

namespace quorl {

VadError::VadError(Kind kind, const std::string& description, std::string message)
    : Error(description), kind_(kind), message_(std::move(message)) {}

VadError VadError::modelProcessingFailed(const std::string& message) {
    return VadError(Kind::modelProcessingFailed, "Model processing failed: " + message, message);
}

VadError VadError::notInitialized() { return VadError(Kind::notInitialized, "VAD system not initialized"); }

VadError VadError::modelLoadingFailed() { return VadError(Kind::modelLoadingFailed, "Failed to load VAD model"); }

} // namespace quorl
