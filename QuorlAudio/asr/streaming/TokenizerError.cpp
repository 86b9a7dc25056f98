#include "QuorlAudio/asr/streaming/TokenizerError.hpp"

namespace quorl {

TokenizerError::TokenizerError(Kind kind, const std::string& description) : Error(description), kind_(kind) {}

TokenizerError TokenizerError::invalidVocabulary(const std::filesystem::path& path) {
    return TokenizerError(Kind::invalidVocabulary,
                          "Vocabulary is not a JSON object of token id to piece: " + path.string());
}

} // namespace quorl
