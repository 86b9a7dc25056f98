#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"

#include "platform/core/Concatenated.hpp"

#include <utility>

namespace quorl {

namespace {

using platform::core::concatenated;

std::string wrapping(std::string_view prefix, const std::exception_ptr& underlying) {
    return concatenated({prefix, platform::core::describe(underlying)});
}

} // namespace

SlidingWindowAsrError::SlidingWindowAsrError(Kind kind, const std::string& description, AudioSource source,
                                             std::exception_ptr underlying, std::string message)
    : Error(description), kind_(kind), source_(source), underlying_(std::move(underlying)),
      message_(std::move(message)) {}

SlidingWindowAsrError SlidingWindowAsrError::streamAlreadyExists(AudioSource source) {
    return SlidingWindowAsrError(Kind::streamAlreadyExists,
                                 concatenated({"A stream already exists for source: ", description(source)}), source);
}

SlidingWindowAsrError SlidingWindowAsrError::audioBufferProcessingFailed(std::exception_ptr underlying) {
    return SlidingWindowAsrError(Kind::audioBufferProcessingFailed,
                                 wrapping("Audio buffer processing failed: ", underlying), AudioSource::microphone,
                                 underlying);
}

SlidingWindowAsrError SlidingWindowAsrError::audioConversionFailed(std::exception_ptr underlying) {
    return SlidingWindowAsrError(Kind::audioConversionFailed, wrapping("Audio conversion failed: ", underlying),
                                 AudioSource::microphone, underlying);
}

SlidingWindowAsrError SlidingWindowAsrError::modelProcessingFailed(std::exception_ptr underlying) {
    return SlidingWindowAsrError(Kind::modelProcessingFailed, wrapping("Model processing failed: ", underlying),
                                 AudioSource::microphone, underlying);
}

SlidingWindowAsrError SlidingWindowAsrError::invalidConfiguration(const std::string& message) {
    return SlidingWindowAsrError(Kind::invalidConfiguration, concatenated({"Invalid configuration: ", message}),
                                 AudioSource::microphone, nullptr, message);
}

SlidingWindowAsrError SlidingWindowAsrError::modelsNotLoaded() {
    return SlidingWindowAsrError(Kind::modelsNotLoaded, "ASR models have not been loaded");
}

SlidingWindowAsrError SlidingWindowAsrError::bufferOverflow() {
    return SlidingWindowAsrError(Kind::bufferOverflow, "Audio buffer overflow occurred");
}

} // namespace quorl
