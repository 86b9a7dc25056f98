#include "QuorlAudio/foundation/AudioConverterError.hpp"

#include <string>
#include <utility>

namespace quorl {

AudioConverterError::AudioConverterError(Kind kind, const std::string& description, std::exception_ptr underlying,
                                         std::int32_t status)
    : Error(description), kind_(kind), underlying_(std::move(underlying)), status_(status) {}

AudioConverterError AudioConverterError::conversionFailed(std::exception_ptr underlying) {
    const std::string reason = underlying ? platform::core::describe(underlying) : "Unknown error";
    return AudioConverterError(Kind::conversionFailed, "Audio conversion failed: " + reason, std::move(underlying));
}

AudioConverterError AudioConverterError::sampleBufferCopyFailed(std::int32_t status) {
    return AudioConverterError(Kind::sampleBufferCopyFailed,
                               "Failed to copy samples from CMSampleBuffer (status: " + std::to_string(status) + ")",
                               {}, status);
}

AudioConverterError AudioConverterError::failedToCreateConverter() {
    return AudioConverterError(Kind::failedToCreateConverter, "Failed to create audio converter");
}

AudioConverterError AudioConverterError::failedToCreateBuffer() {
    return AudioConverterError(Kind::failedToCreateBuffer, "Failed to create conversion buffer");
}

AudioConverterError AudioConverterError::sampleBufferFormatMissing() {
    return AudioConverterError(Kind::sampleBufferFormatMissing,
                               "Sample buffer is missing a valid audio format description.");
}

AudioConverterError AudioConverterError::failedToCreateSourceFormat() {
    return AudioConverterError(Kind::failedToCreateSourceFormat,
                               "Failed to create a source audio format description for CMSampleBuffer.");
}

} // namespace quorl
