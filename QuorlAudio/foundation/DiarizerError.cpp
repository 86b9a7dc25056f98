#include "QuorlAudio/foundation/DiarizerError.hpp"

#include <utility>

namespace quorl {

DiarizerError::DiarizerError(Kind kind, const std::string& description, std::string message)
    : Error(description), kind_(kind), message_(std::move(message)) {}

DiarizerError DiarizerError::processingFailed(const std::string& message) {
    return DiarizerError(Kind::processingFailed, "Processing failed: " + message, message);
}

DiarizerError DiarizerError::notInitialized() {
    return DiarizerError(Kind::notInitialized, "Diarization system not initialized. Call initialize() first.");
}

DiarizerError DiarizerError::modelDownloadFailed() {
    return DiarizerError(Kind::modelDownloadFailed, "Failed to download required models.");
}

DiarizerError DiarizerError::modelCompilationFailed() {
    return DiarizerError(Kind::modelCompilationFailed, "Failed to compile CoreML models.");
}

DiarizerError DiarizerError::embeddingExtractionFailed() {
    return DiarizerError(Kind::embeddingExtractionFailed, "Failed to extract speaker embedding from audio.");
}

DiarizerError DiarizerError::invalidAudioData() {
    return DiarizerError(Kind::invalidAudioData, "Invalid audio data provided.");
}

DiarizerError DiarizerError::memoryAllocationFailed() {
    return DiarizerError(Kind::memoryAllocationFailed, "Failed to allocate ANE-aligned memory.");
}

DiarizerError DiarizerError::invalidArrayBounds() {
    return DiarizerError(Kind::invalidArrayBounds, "Array bounds exceeded for zero-copy view.");
}

} // namespace quorl
