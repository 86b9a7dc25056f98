#include "QuorlAudio/asr/biasing/CtcTokenizerError.hpp"

#include <utility>

namespace quorl {

CtcTokenizerError::CtcTokenizerError(Kind kind, const std::string& description, std::exception_ptr underlying)
    : platform::core::Error(description), kind_(kind), underlying_(std::move(underlying)) {}

CtcTokenizerError CtcTokenizerError::tokenizerNotFound(const std::filesystem::path& directory) {
    return {Kind::tokenizerNotFound, "tokenizer.json not found at " + directory.string()};
}

CtcTokenizerError CtcTokenizerError::missingFile(const std::string& name, const std::filesystem::path& directory) {
    return {Kind::missingFile, "Missing required file '" + name + "' in " + directory.string()};
}

CtcTokenizerError CtcTokenizerError::initializationFailed(std::exception_ptr underlying) {
    return {Kind::initializationFailed,
            "Failed to initialize HuggingFace tokenizer: " + platform::core::describe(underlying), underlying};
}

CtcTokenizerError CtcTokenizerError::applicationSupportNotFound() {
    return {Kind::applicationSupportNotFound, "Application Support directory not found"};
}

} // namespace quorl
