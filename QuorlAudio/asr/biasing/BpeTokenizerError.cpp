#include "QuorlAudio/asr/biasing/BpeTokenizerError.hpp"

namespace quorl {

BpeTokenizerError::BpeTokenizerError(Kind kind, const std::string& description)
    : platform::core::Error(description), kind_(kind) {}

BpeTokenizerError BpeTokenizerError::fileNotFound(const std::filesystem::path& file) {
    return {Kind::fileNotFound, "tokenizer.json not found at " + file.string()};
}

BpeTokenizerError BpeTokenizerError::invalidJSON(const std::string& reason) {
    return {Kind::invalidJSON, "Invalid JSON: " + reason};
}

BpeTokenizerError BpeTokenizerError::missingField(const std::string& field) {
    return {Kind::missingField, "Missing required field: " + field};
}

BpeTokenizerError BpeTokenizerError::unsupportedTokenizerType(const std::string& type) {
    return {Kind::unsupportedTokenizerType, "Unsupported tokenizer type: " + type + ". Only 'BPE' is supported."};
}

} // namespace quorl
