#include "QuorlAudio/diarization/offline/OfflineDiarizationError.hpp"

#include <utility>

namespace quorl {

OfflineDiarizationError::OfflineDiarizationError(Kind kind, const std::string& description, std::string detail)
    : Error(description), kind_(kind), detail_(std::move(detail)) {}

OfflineDiarizationError OfflineDiarizationError::modelNotLoaded(const std::string& detail) {
    return OfflineDiarizationError(Kind::modelNotLoaded, "Model not loaded: " + detail, detail);
}

OfflineDiarizationError OfflineDiarizationError::invalidConfiguration(const std::string& detail) {
    return OfflineDiarizationError(Kind::invalidConfiguration, "Invalid configuration: " + detail, detail);
}

OfflineDiarizationError OfflineDiarizationError::invalidBatchSize(const std::string& detail) {
    return OfflineDiarizationError(Kind::invalidBatchSize, "Invalid batch size: " + detail, detail);
}

OfflineDiarizationError OfflineDiarizationError::processingFailed(const std::string& detail) {
    return OfflineDiarizationError(Kind::processingFailed, "Processing failed: " + detail, detail);
}

OfflineDiarizationError OfflineDiarizationError::exportFailed(const std::string& detail) {
    return OfflineDiarizationError(Kind::exportFailed, "Failed to export data: " + detail, detail);
}

OfflineDiarizationError OfflineDiarizationError::noSpeechDetected() {
    return OfflineDiarizationError(Kind::noSpeechDetected, "No speech detected in audio");
}

} // namespace quorl
