#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"

#include "QuorlAudio/tts/styletts2/StyleTTS2Constants.hpp"
#include "platform/core/Concatenated.hpp"

namespace quorl {

using platform::core::concatenated;

StyleTTS2Error::StyleTTS2Error(Kind kind, const std::string& description)
    : platform::core::Error(description), kind_(kind) {}

StyleTTS2Error StyleTTS2Error::modelFileNotFound(const std::string& name) {
    return {Kind::modelFileNotFound, concatenated({"StyleTTS2 model file not found: ", name})};
}

StyleTTS2Error StyleTTS2Error::corruptedModel(const std::string& name, const std::string& underlying) {
    return {Kind::corruptedModel, concatenated({"StyleTTS2 model appears corrupted: ", name, " (", underlying, ")"})};
}

StyleTTS2Error StyleTTS2Error::downloadFailed(const std::string& message) {
    return {Kind::downloadFailed, concatenated({"StyleTTS2 download failed: ", message})};
}

StyleTTS2Error StyleTTS2Error::unsupportedReferenceAudio(const std::string& message) {
    return {Kind::unsupportedReferenceAudio,
            concatenated({"StyleTTS2 reference audio could not be loaded: ", message})};
}

StyleTTS2Error StyleTTS2Error::textTooLong(int tokenCount, int maxLength) {
    return {Kind::textTooLong, concatenated({"Text produced ", std::to_string(tokenCount),
                                             " tokens; StyleTTS2 max bucket holds ", std::to_string(maxLength), "."})};
}

StyleTTS2Error StyleTTS2Error::noBucketAvailable(int tokenCount) {
    return {Kind::noBucketAvailable,
            concatenated({"No StyleTTS2 token-axis bucket fits ", std::to_string(tokenCount),
                          " tokens (max bucket = ", std::to_string(StyleTTS2Constants::largestBucket), ")."})};
}

StyleTTS2Error StyleTTS2Error::phonemizationFailed(const std::string& message) {
    return {Kind::phonemizationFailed, concatenated({"StyleTTS2 phonemization failed: ", message})};
}

StyleTTS2Error StyleTTS2Error::inferenceFailed(const std::string& stage, const std::string& underlying) {
    return {Kind::inferenceFailed, concatenated({"StyleTTS2 ", stage, " inference failed: ", underlying})};
}

StyleTTS2Error StyleTTS2Error::invalidTensorShape(const std::string& stage, const std::string& expected,
                                                  const std::string& got) {
    return {Kind::invalidTensorShape,
            concatenated({"StyleTTS2 ", stage, " tensor shape mismatch: expected ", expected, ", got ", got})};
}

StyleTTS2Error StyleTTS2Error::notInitialized() {
    return {Kind::notInitialized, "StyleTTS2 manager has not been initialized. Call initialize() first."};
}

} // namespace quorl
