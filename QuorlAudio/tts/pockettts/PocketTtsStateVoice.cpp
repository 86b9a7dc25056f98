#include "QuorlAudio/tts/pockettts/PocketTtsStateVoice.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"
#include "platform/core/Concatenated.hpp"

#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using platform::core::concatenated;

constexpr std::size_t width = PocketTtsConstants::transformerDim;

// The start embedding, then the prompt's frames: the voice's conditioning tokens in cache order.
std::vector<float> clonedVoiceTokens(const PocketTtsVoiceData& voice, const PocketTtsConstantsBundle& constants) {
    if (!constants.bosBeforeVoice) {
        throw PocketTTSError::processingFailed(
            "PocketTTS cloned-voice prefill requires bos_before_voice constant. Re-download the language pack.");
    }
    const auto& bos = *constants.bosBeforeVoice;
    if (bos.size() != width) {
        throw PocketTTSError::processingFailed(concatenated(
            {"bos_before_voice has ", std::to_string(bos.size()), " floats, expected ", std::to_string(width)}));
    }
    const auto promptFloats = static_cast<std::size_t>(voice.promptLength) * width;
    if (voice.audioPrompt.size() < promptFloats) {
        throw PocketTTSError::processingFailed(concatenated({"voice prompt of ", std::to_string(voice.promptLength),
                                                             " frames has ", std::to_string(voice.audioPrompt.size()),
                                                             " floats, expected ", std::to_string(promptFloats)}));
    }
    std::vector<float> tokens(bos);
    tokens.insert(tokens.end(), voice.audioPrompt.begin(),
                  voice.audioPrompt.begin() + static_cast<std::ptrdiff_t>(promptFloats));
    return tokens;
}

} // namespace

PocketTtsStateVoice::PocketTtsStateVoice(PocketTtsSessionStatePath path,
                                         std::shared_ptr<const PocketTtsConstantsBundle> constants,
                                         PocketTtsLanguage language, const AppLogger& logger)
    : path_(std::move(path)), constants_(std::move(constants)), language_(language), logger_(logger) {}

PocketTtsStateEngine& PocketTtsStateVoice::engine() {
    if (engine_ == nullptr) {
        if (path_.stateModels.prefill == nullptr || path_.stateModels.generate == nullptr) {
            throw PocketTTSError::processingFailed("PocketTTS state session missing multifunction models");
        }
        engine_ = std::make_unique<PocketTtsStateEngine>(path_.stateModels, transformerLayers(language_));
    }
    return *engine_;
}

const PocketTtsStateEngine::Fp16Snapshot& PocketTtsStateVoice::voiceSnapshot() {
    if (!voiceSnapshot_) {
        voiceSnapshot_ = makeVoiceSnapshot(engine());
        logger_.info("Session state voice snapshot ready at position " +
                     std::to_string(static_cast<std::int64_t>(voiceSnapshot_->position)));
    }
    return *voiceSnapshot_;
}

PocketTtsStateEngine::Fp16Snapshot PocketTtsStateVoice::makeVoiceSnapshot(PocketTtsStateEngine& engine) const {
    if (path_.voiceData == nullptr) {
        throw PocketTTSError::processingFailed("PocketTTS state session missing voice data");
    }
    const auto& voice = *path_.voiceData;
    if (voice.cacheSnapshot) {
        return PocketTtsStateEngine::fp16Snapshot(*voice.cacheSnapshot, transformerLayers(language_));
    }
    if (voice.promptLength <= 0) {
        engine.resetToZero();
        return engine.captureSnapshot();
    }
    const auto tokens = clonedVoiceTokens(voice, *constants_);
    const auto tokenCount = voice.promptLength + 1;
    PocketTtsSynthesizer::checkPrefillCapacity(0, static_cast<std::size_t>(tokenCount));
    engine.resetToZero();
    engine.prefill(tokens, tokenCount);
    return engine.captureSnapshot();
}

} // namespace quorl
