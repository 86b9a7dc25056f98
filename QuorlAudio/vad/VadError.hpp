#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// Failures of voice-activity detection.
class VadError : public platform::core::Error {
public:
    enum class Kind {
        modelProcessingFailed,
        notInitialized,
        modelLoadingFailed,
    };

    static VadError modelProcessingFailed(const std::string& message);
    static VadError notInitialized();
    static VadError modelLoadingFailed();

    Kind kind() const { return kind_; }
    // The text modelProcessingFailed carries; empty otherwise.
    const std::string& message() const { return message_; }

private:
    VadError(Kind kind, const std::string& description, std::string message = {});

    Kind kind_;
    std::string message_;
};

} // namespace quorl
