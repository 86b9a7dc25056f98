#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// The error of speech synthesis. Every case carries one text (a model name, a path or a reason) that its
// description quotes.
class TTSError : public platform::core::Error {
public:
    enum class Kind { downloadFailed, corruptedModel, modelNotFound, processingFailed };

    static TTSError downloadFailed(const std::string& text);
    static TTSError corruptedModel(const std::string& model);
    static TTSError modelNotFound(const std::string& model);
    static TTSError processingFailed(const std::string& reason);

    Kind kind() const { return kind_; }
    const std::string& payload() const { return payload_; }

private:
    TTSError(Kind kind, std::string payload);

    Kind kind_;
    std::string payload_;
};

} // namespace quorl
