#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// The failure of making a disk-backed sample source.
class AudioSourceError : public platform::core::Error {
public:
    enum class Kind { processingFailed };

    // "Processing failed: " followed by the message.
    static AudioSourceError processingFailed(const std::string& message);

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }

private:
    AudioSourceError(Kind kind, const std::string& description, std::string message);

    Kind kind_;
    std::string message_;
};

} // namespace quorl
