#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/TextPieces.hpp"

#include <cstddef>

namespace quorl {

using platform::text::bracketedList;

using platform::core::concatenated;

namespace {

std::string availableLanguagesList() {
    std::string text;
    for (const auto code : Supertonic3Constants::availableLanguages) {
        text += (text.empty() ? "" : ", ") + std::string(code);
    }
    return text;
}

} // namespace

Supertonic3Error::Supertonic3Error(Kind kind, const std::string& description)
    : platform::core::Error(description), kind_(kind) {}

Supertonic3Error Supertonic3Error::modelFileNotFound(const std::string& name) {
    return {Kind::modelFileNotFound, concatenated({"Supertonic3 model file not found: ", name})};
}

Supertonic3Error Supertonic3Error::corruptedModel(const std::string& name, const std::string& underlying) {
    return {Kind::corruptedModel, concatenated({"Supertonic3 model appears corrupted: ", name, " (", underlying, ")"})};
}

Supertonic3Error Supertonic3Error::downloadFailed(const std::string& message) {
    return {Kind::downloadFailed, concatenated({"Supertonic3 download failed: ", message})};
}

Supertonic3Error Supertonic3Error::unsupportedLanguage(const std::string& code) {
    return {Kind::unsupportedLanguage,
            concatenated({"Supertonic3 unsupported language '", code, "'. Available: ", availableLanguagesList()})};
}

Supertonic3Error Supertonic3Error::voiceStyleLoadFailed(const std::string& path, const std::string& underlying) {
    return {Kind::voiceStyleLoadFailed,
            concatenated({"Supertonic3 voice style load failed at ", path, ": ", underlying})};
}

Supertonic3Error Supertonic3Error::voiceStyleShapeMismatch(const std::string& component,
                                                           const std::vector<std::int64_t>& expected,
                                                           const std::vector<std::int64_t>& got) {
    return {Kind::voiceStyleShapeMismatch,
            concatenated({"Supertonic3 voice style ", component, " shape mismatch: expected ", bracketedList(expected),
                          ", got ", bracketedList(got)})};
}

Supertonic3Error Supertonic3Error::unicodeIndexerLoadFailed(const std::string& message) {
    return {Kind::unicodeIndexerLoadFailed, concatenated({"Supertonic3 unicode_indexer.json load failed: ", message})};
}

Supertonic3Error Supertonic3Error::configLoadFailed(const std::string& message) {
    return {Kind::configLoadFailed, concatenated({"Supertonic3 tts.json load failed: ", message})};
}

Supertonic3Error Supertonic3Error::textTooLong(int charCount, int maxLength) {
    return {Kind::textTooLong, concatenated({"Supertonic3 input chunk has ", std::to_string(charCount),
                                             " chars; max chunk length is ", std::to_string(maxLength), "."})};
}

Supertonic3Error Supertonic3Error::inferenceFailed(const std::string& stage, const std::string& underlying) {
    return {Kind::inferenceFailed, concatenated({"Supertonic3 ", stage, " inference failed: ", underlying})};
}

Supertonic3Error Supertonic3Error::invalidTensorShape(const std::string& stage, const std::string& expected,
                                                      const std::string& got) {
    return {Kind::invalidTensorShape,
            concatenated({"Supertonic3 ", stage, " tensor shape mismatch: expected ", expected, ", got ", got})};
}

Supertonic3Error Supertonic3Error::notInitialized() {
    return {Kind::notInitialized, "Supertonic3 manager has not been initialized. Call initialize() first."};
}

Supertonic3Error Supertonic3Error::emptyText() {
    return {Kind::emptyText, "Supertonic3 received empty text after normalization."};
}

} // namespace quorl
