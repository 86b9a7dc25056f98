#include "QuorlAudio/tts/pockettts/PocketTtsManager.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSessionConstruction.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCloner.hpp"
#include "platform/sys/AtomicWrite.hpp"

#include <utility>

namespace quorl {

using PocketTtsSynthesizer::Context::Binding;

PocketTtsManager::PocketTtsManager(PocketTtsModelSelection selection, std::string defaultVoice)
    : modelStore_(std::make_shared<PocketTtsModelStore>(selection)), language_(selection.language),
      defaultVoice_(std::move(defaultVoice)) {}

bool PocketTtsManager::isAvailable() const {
    const std::lock_guard lock(mutex_);
    return isInitialized_;
}

std::string PocketTtsManager::defaultVoice() const {
    const std::lock_guard lock(mutex_);
    return defaultVoice_;
}

void PocketTtsManager::setDefaultVoice(std::string voice) {
    const std::lock_guard lock(mutex_);
    defaultVoice_ = std::move(voice);
}

void PocketTtsManager::initialize() {
    modelStore_->loadIfNeeded();
    {
        const std::lock_guard lock(mutex_);
        isInitialized_ = true;
    }
    logger_.notice("PocketTtsManager initialized");
}

void PocketTtsManager::cleanup() {
    const std::lock_guard lock(mutex_);
    isInitialized_ = false;
}

std::vector<std::uint8_t> PocketTtsManager::synthesize(const Request& request) {
    return synthesizeDetailed(request).audio;
}

std::vector<std::uint8_t> PocketTtsManager::synthesize(const Request& request,
                                                       std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    requireInitialized();
    const Binding binding(modelStore_);
    return PocketTtsSynthesizer::synthesize(synthesisRequest(request), std::move(voiceData)).audio;
}

PocketTtsSynthesizer::SynthesisResult PocketTtsManager::synthesizeDetailed(const Request& request) {
    requireInitialized();
    const auto voice = chosenVoice(request);
    const Binding binding(modelStore_);
    return PocketTtsSynthesizer::synthesize(synthesisRequest(request), voice);
}

PocketTtsSynthesizer::FrameStream PocketTtsManager::synthesizeStreaming(const Request& request) {
    requireInitialized();
    const auto voice = chosenVoice(request);
    const Binding binding(modelStore_);
    return PocketTtsSynthesizer::synthesizeStreaming(synthesisRequest(request), voice);
}

PocketTtsSynthesizer::FrameStream
PocketTtsManager::synthesizeStreaming(const Request& request, std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    requireInitialized();
    const Binding binding(modelStore_);
    return PocketTtsSynthesizer::synthesizeStreaming(synthesisRequest(request), std::move(voiceData));
}

std::shared_ptr<PocketTtsSession> PocketTtsManager::makeSession(const SessionRequest& request) {
    requireInitialized();
    const auto voice = request.voice ? *request.voice : defaultVoice();
    return buildSession(request, modelStore_->voiceData(voice));
}

std::shared_ptr<PocketTtsSession> PocketTtsManager::makeSession(const SessionRequest& request,
                                                                std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    requireInitialized();
    return buildSession(request, std::move(voiceData));
}

void PocketTtsManager::synthesizeToFile(const Request& request, const std::filesystem::path& outputURL) {
    const auto audio = synthesize(request);
    platform::sys::writeAtomically(audio, outputURL);
    logger_.notice("Saved synthesized audio to: " + outputURL.filename().string());
}

bool PocketTtsManager::isVoiceCloningAvailable() const { return modelStore_->isMimiEncoderAvailable(); }

PocketTtsVoiceData PocketTtsManager::cloneVoice(const std::filesystem::path& from) {
    modelStore_->loadMimiEncoderIfNeeded();
    return modelStore_->cloneVoice(from);
}

PocketTtsVoiceData PocketTtsManager::cloneVoice(std::span<const float> from) {
    modelStore_->loadMimiEncoderIfNeeded();
    return modelStore_->cloneVoice(from);
}

PocketTtsVoiceData PocketTtsManager::cloneVoiceToFile(const std::filesystem::path& from,
                                                      const std::filesystem::path& to) {
    auto voice = cloneVoice(from);
    PocketTtsVoiceCloner::saveVoice(voice, to);
    return voice;
}

void PocketTtsManager::saveClonedVoice(const PocketTtsVoiceData& voice, const std::filesystem::path& to) {
    PocketTtsVoiceCloner::saveVoice(voice, to);
}

PocketTtsVoiceData PocketTtsManager::loadClonedVoice(const std::filesystem::path& from) {
    return PocketTtsVoiceCloner::loadVoice(from);
}

void PocketTtsManager::requireInitialized() const {
    const std::lock_guard lock(mutex_);
    if (!isInitialized_) {
        throw PocketTTSError::modelNotFound("PocketTTS model not initialized");
    }
}

std::string PocketTtsManager::chosenVoice(const Request& request) const {
    return request.voice ? *request.voice : defaultVoice();
}

PocketTtsSynthesizer::SynthesisRequest PocketTtsManager::synthesisRequest(const Request& request) const {
    return {.text = request.text,
            .temperature = request.temperature,
            .seed = std::nullopt,
            .maxTokensPerChunk = request.maxTokensPerChunk,
            .language = language_,
            .deEss = request.deEss};
}

std::shared_ptr<PocketTtsSession> PocketTtsManager::buildSession(const SessionRequest& request,
                                                                 std::shared_ptr<const PocketTtsVoiceData> voiceData) {
    const Binding binding(modelStore_);
    return PocketTtsSynthesizer::makeSession(
        std::move(voiceData), {.temperature = request.temperature, .seed = request.seed, .language = language_});
}

} // namespace quorl
