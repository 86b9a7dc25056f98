#pragma once

#include "QuorlAudio/foundation/AudioSource.hpp"

#include "platform/core/Error.hpp"

#include <exception>
#include <string>

namespace quorl {

// Failures of the sliding-window recogniser. The cases that wrap another error end their description with
// that error's own description.
class SlidingWindowAsrError : public platform::core::Error {
public:
    enum class Kind {
        streamAlreadyExists,
        audioBufferProcessingFailed,
        audioConversionFailed,
        modelProcessingFailed,
        invalidConfiguration,
        modelsNotLoaded,
        bufferOverflow,
    };

    static SlidingWindowAsrError streamAlreadyExists(AudioSource source);
    static SlidingWindowAsrError audioBufferProcessingFailed(std::exception_ptr underlying);
    static SlidingWindowAsrError audioConversionFailed(std::exception_ptr underlying);
    static SlidingWindowAsrError modelProcessingFailed(std::exception_ptr underlying);
    static SlidingWindowAsrError invalidConfiguration(const std::string& message);
    static SlidingWindowAsrError modelsNotLoaded();
    static SlidingWindowAsrError bufferOverflow();

    Kind kind() const { return kind_; }
    // The source of streamAlreadyExists; microphone otherwise.
    AudioSource source() const { return source_; }
    // The wrapped error of the three wrapping cases; null otherwise.
    const std::exception_ptr& underlying() const { return underlying_; }
    // The message of invalidConfiguration; empty otherwise.
    const std::string& message() const { return message_; }

private:
    SlidingWindowAsrError(Kind kind, const std::string& description, AudioSource source = AudioSource::microphone,
                          std::exception_ptr underlying = {}, std::string message = {});

    Kind kind_;
    AudioSource source_;
    std::exception_ptr underlying_;
    std::string message_;
};

} // namespace quorl
