#pragma once

#include "platform/core/Error.hpp"

#include <cstdint>
#include <exception>
#include <string>

namespace quorl {

// Failures of AudioConverter. Errors of opening or reading audio files are not wrapped: they reach the caller
// as the platform's own errors.
class AudioConverterError : public platform::core::Error {
public:
    enum class Kind {
        conversionFailed,
        sampleBufferCopyFailed,
        failedToCreateConverter,
        failedToCreateBuffer,
        sampleBufferFormatMissing,
        failedToCreateSourceFormat,
    };

    // "Audio conversion failed: " followed by the underlying error's description, or "Unknown error" without one.
    static AudioConverterError conversionFailed(std::exception_ptr underlying);
    static AudioConverterError sampleBufferCopyFailed(std::int32_t status);
    static AudioConverterError failedToCreateConverter();
    static AudioConverterError failedToCreateBuffer();
    static AudioConverterError sampleBufferFormatMissing();
    static AudioConverterError failedToCreateSourceFormat();

    Kind kind() const { return kind_; }
    // The underlying error of conversionFailed; null otherwise or when the converter gave none.
    const std::exception_ptr& underlying() const { return underlying_; }
    // The platform status of sampleBufferCopyFailed; 0 otherwise.
    std::int32_t status() const { return status_; }

private:
    AudioConverterError(Kind kind, const std::string& description, std::exception_ptr underlying = {},
                        std::int32_t status = 0);

    Kind kind_;
    std::exception_ptr underlying_;
    std::int32_t status_;
};

} // namespace quorl
