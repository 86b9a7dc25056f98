#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "platform/core/Concatenated.hpp"

#include <utility>

namespace quorl {

using platform::core::concatenated;

KokoroAneError::KokoroAneError(Kind kind, const std::string& description, std::exception_ptr underlying)
    : platform::core::Error(description), kind_(kind), underlying_(std::move(underlying)) {}

KokoroAneError KokoroAneError::modelNotLoaded(const std::string& model) {
    return {Kind::modelNotLoaded, concatenated({"KokoroAne model '", model, "' not loaded. Call initialize() first."})};
}

KokoroAneError KokoroAneError::downloadFailed(const std::string& text) {
    return {Kind::downloadFailed, concatenated({"KokoroAne download failed: ", text})};
}

KokoroAneError KokoroAneError::vocabMissing(const std::filesystem::path& file) {
    return {Kind::vocabMissing, concatenated({"KokoroAne vocab.json not found at ", file.string(), "."})};
}

KokoroAneError KokoroAneError::vocabParseFailed(const std::filesystem::path& file, const std::string& reason) {
    return {Kind::vocabParseFailed,
            concatenated({"KokoroAne vocab.json at ", file.string(), " is malformed: ", reason})};
}

KokoroAneError KokoroAneError::voicePackMissing(const std::filesystem::path& file) {
    return {Kind::voicePackMissing, concatenated({"KokoroAne voice pack not found at ", file.string(), "."})};
}

KokoroAneError KokoroAneError::invalidVoicePack(const std::string& text) {
    return {Kind::invalidVoicePack, concatenated({"KokoroAne voice pack is invalid: ", text})};
}

KokoroAneError KokoroAneError::phonemeSequenceTooLong(int characterCount) {
    return {Kind::phonemeSequenceTooLong,
            concatenated({"KokoroAne phoneme sequence has ", std::to_string(characterCount), " characters (max ",
                          std::to_string(KokoroAneConstants::maxPhonemeLength), ")."})};
}

KokoroAneError KokoroAneError::inputProcessingFailed(const std::string& text) {
    return {Kind::inputProcessingFailed, concatenated({"KokoroAne input processing failed: ", text})};
}

KokoroAneError KokoroAneError::acousticFramesExceedCap(int have, int cap) {
    return {Kind::acousticFramesExceedCap,
            concatenated({"KokoroAne PostAlbert produced T_a=", std::to_string(have),
                          " frames > MAX_FRAMES=", std::to_string(cap), ". Chunk the input."})};
}

KokoroAneError KokoroAneError::predictionFailed(const std::string& stage, const std::exception_ptr& underlying) {
    return {Kind::predictionFailed,
            concatenated({"KokoroAne stage '", stage, "' failed: ", platform::core::describe(underlying)}), underlying};
}

KokoroAneError KokoroAneError::unexpectedOutputShape(const std::string& stage, const std::string& expected,
                                                     const std::string& got) {
    return {Kind::unexpectedOutputShape,
            concatenated(
                {"KokoroAne stage '", stage, "' returned unexpected shape (expected ", expected, ", got ", got, ")."})};
}

KokoroAneError KokoroAneError::audioConversionFailed(const std::string& text) {
    return {Kind::audioConversionFailed, concatenated({"KokoroAne audio conversion failed: ", text})};
}

} // namespace quorl
