#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// Failures of the Cohere recogniser. Every case carries a message; the description is a fixed prefix
// followed by it.
class CohereAsrError : public platform::core::Error {
public:
    enum class Kind { modelNotFound, encodingFailed, decodingFailed, invalidInput, generationFailed };

    static CohereAsrError modelNotFound(const std::string& message);
    static CohereAsrError encodingFailed(const std::string& message);
    static CohereAsrError decodingFailed(const std::string& message);
    static CohereAsrError invalidInput(const std::string& message);
    static CohereAsrError generationFailed(const std::string& message);

    Kind kind() const { return kind_; }
    const std::string& message() const { return message_; }

private:
    CohereAsrError(Kind kind, const std::string& prefix, std::string message);

    Kind kind_;
    std::string message_;
};

} // namespace quorl
