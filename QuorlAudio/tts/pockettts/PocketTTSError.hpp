#pragma once

#include "QuorlAudio/tts/frontend/TTSError.hpp"
#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// The error of every PocketTTS operation: the cases and texts of the synthesis front end's TTSError, as a
// type of its own so that callers can tell which synthesiser failed.
class PocketTTSError : public platform::core::Error {
public:
    using Kind = TTSError::Kind;

    static PocketTTSError downloadFailed(const std::string& message);
    static PocketTTSError corruptedModel(const std::string& name);
    static PocketTTSError modelNotFound(const std::string& name);
    static PocketTTSError processingFailed(const std::string& message);

    Kind kind() const { return kind_; }
    const std::string& payload() const { return payload_; }

private:
    explicit PocketTTSError(const TTSError& described);

    Kind kind_;
    std::string payload_;
};

} // namespace quorl
