#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"

#include <utility>

namespace quorl {

SortformerError::SortformerError(Kind kind, const std::string& description, std::string detail)
    : Error(description), kind_(kind), detail_(std::move(detail)) {}

SortformerError SortformerError::modelLoadFailed(const std::string& detail) {
    return SortformerError(Kind::modelLoadFailed, "Failed to load Sortformer model: " + detail, detail);
}

SortformerError SortformerError::preprocessorFailed(const std::string& detail) {
    return SortformerError(Kind::preprocessorFailed, "Preprocessor failed: " + detail, detail);
}

SortformerError SortformerError::inferenceFailed(const std::string& detail) {
    return SortformerError(Kind::inferenceFailed, "Inference failed: " + detail, detail);
}

SortformerError SortformerError::invalidState(const std::string& detail) {
    return SortformerError(Kind::invalidState, "Invalid state: " + detail, detail);
}

SortformerError SortformerError::configurationError(const std::string& detail) {
    return SortformerError(Kind::configurationError, "Configuration error: " + detail, detail);
}

SortformerError SortformerError::insufficientChunkLength(const std::string& detail) {
    return SortformerError(Kind::insufficientChunkLength, "Insufficient chunk length: " + detail, detail);
}

SortformerError SortformerError::insufficientPredsLength(const std::string& detail) {
    return SortformerError(Kind::insufficientPredsLength, "Insufficient preds length: " + detail, detail);
}

SortformerError SortformerError::notInitialized() {
    return SortformerError(Kind::notInitialized, "Sortformer diarizer not initialized. Call initialize() first.");
}

SortformerError SortformerError::invalidAudioData() {
    return SortformerError(Kind::invalidAudioData, "Invalid audio data provided.");
}

} // namespace quorl
