#include "QuorlAudio/asr/batch/ASRError.hpp"

#include <utility>

namespace quorl {

ASRError::ASRError(Kind kind, const std::string& description, std::string message, std::exception_ptr underlying,
                   std::filesystem::path url)
    : Error(description), kind_(kind), message_(std::move(message)), underlying_(std::move(underlying)),
      url_(std::move(url)) {}

ASRError ASRError::processingFailed(const std::string& message) {
    return ASRError(Kind::processingFailed, "ASR processing failed: " + message, message);
}

ASRError ASRError::unsupportedPlatform(const std::string& message) {
    return ASRError(Kind::unsupportedPlatform, message, message);
}

ASRError ASRError::streamingConversionFailed(std::exception_ptr underlying) {
    const std::string description = "Streaming audio conversion failed: " + platform::core::describe(underlying);
    return ASRError(Kind::streamingConversionFailed, description, {}, std::move(underlying));
}

ASRError ASRError::fileAccessFailed(const std::filesystem::path& url, std::exception_ptr underlying) {
    const std::string description =
        "Failed to access audio file at " + url.string() + ": " + platform::core::describe(underlying);
    return ASRError(Kind::fileAccessFailed, description, {}, std::move(underlying), url);
}

ASRError ASRError::encoderInstantiationFailed(const std::string& message) {
    return ASRError(Kind::encoderInstantiationFailed, "Encoder ANE program failed to instantiate: " + message, message);
}

ASRError ASRError::notInitialized() {
    return ASRError(Kind::notInitialized, "AsrManager not initialized. Call initialize() first.");
}

ASRError ASRError::invalidAudioData() {
    return ASRError(Kind::invalidAudioData, "Invalid audio data provided. Must be at least 300ms of 16kHz audio.");
}

ASRError ASRError::modelLoadFailed() {
    return ASRError(Kind::modelLoadFailed, "Failed to load Parakeet CoreML models.");
}

ASRError ASRError::modelCompilationFailed() {
    return ASRError(Kind::modelCompilationFailed, "CoreML model compilation failed after recovery attempts.");
}

} // namespace quorl
