#include "QuorlAudio/asr/other/CohereAsrError.hpp"

#include <utility>

namespace quorl {

CohereAsrError::CohereAsrError(Kind kind, const std::string& prefix, std::string message)
    : Error(prefix + message), kind_(kind), message_(std::move(message)) {}

CohereAsrError CohereAsrError::modelNotFound(const std::string& message) {
    return CohereAsrError(Kind::modelNotFound, "Model not found: ", message);
}

CohereAsrError CohereAsrError::encodingFailed(const std::string& message) {
    return CohereAsrError(Kind::encodingFailed, "Encoding failed: ", message);
}

CohereAsrError CohereAsrError::decodingFailed(const std::string& message) {
    return CohereAsrError(Kind::decodingFailed, "Decoding failed: ", message);
}

CohereAsrError CohereAsrError::invalidInput(const std::string& message) {
    return CohereAsrError(Kind::invalidInput, "Invalid input: ", message);
}

CohereAsrError CohereAsrError::generationFailed(const std::string& message) {
    return CohereAsrError(Kind::generationFailed, "Generation failed: ", message);
}

} // namespace quorl
