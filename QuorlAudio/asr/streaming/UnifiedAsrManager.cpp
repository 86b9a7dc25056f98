#include "QuorlAudio/asr/streaming/UnifiedAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrUtils.hpp"
#include "QuorlAudio/asr/streaming/UnifiedEncodedWindow.hpp"
#include "QuorlAudio/asr/streaming/UnifiedWindowMerger.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"

#include <algorithm>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ModelConfiguration;

// The offline encoder's input: 15 s, whatever the real length of the window.
constexpr std::int64_t encoderSeconds = 15;

} // namespace

UnifiedAsrManager::UnifiedAsrManager() : UnifiedAsrManager(Options{}) {}

UnifiedAsrManager::UnifiedAsrManager(Options options)
    : UnifiedAsrEngine(options), logger_("UnifiedOffline"), layout_{.config = options.config},
      audioConverter_(ASRConstants::sampleRate, false), streamConverter_(ASRConstants::sampleRate) {}

std::string UnifiedAsrManager::displayName() const { return "Parakeet Unified 0.6B (offline 15s batch)"; }

// Loading

UnifiedModelLoader UnifiedAsrManager::loader() const {
    const bool fp16 = encoderPrecision_ == UnifiedEncoderPrecision::fp16;
    return {
        .logger = logger_,
        .label = "Parakeet Unified offline",
        .encoderFile = std::string(ModelNames::ParakeetUnified::offlineEncoderFile(encoderPrecision_)),
        .downloadVariant = fp16 ? "offline-fp16" : "offline",
        .extraModelNames = {},
        .melWindowSamples = encoderSeconds * config_.sampleRate,
        .loadedMessage = "Parakeet Unified offline models loaded (15 s window, 2 s overlap).",
        .config = config_,
        .encoderPrecision = encoderPrecision_,
    };
}

// Transcription

std::string UnifiedAsrManager::transcribe(std::span<const float> samples) {
    const std::lock_guard lock(mutex_);
    return transcribeLocked(samples);
}

std::string UnifiedAsrManager::transcribe(const platform::audio::PCMBuffer& buffer) {
    const std::vector<float> samples = audioConverter_.resampleBuffer(buffer);
    return transcribe(samples);
}

std::string UnifiedAsrManager::transcribeLocked(std::span<const float> samples) {
    if (!models_.tokenizer) {
        throw ASRError::notInitialized();
    }
    const auto total = static_cast<std::int64_t>(samples.size());
    UnifiedWindowMerger merger(*models_.tokenizer,
                               static_cast<double>(layout_.overlapSamples()) / static_cast<double>(config_.sampleRate));
    for (const std::int64_t start : layout_.chunkStarts(total)) {
        merger.append(transcribeWindow(samples, start, std::min(total, start + layout_.windowSamples())));
    }
    return merger.text();
}

// Every window starts from a fresh decoder state, so windows are independent and the merge alone joins them.
std::vector<DecodedToken> UnifiedAsrManager::transcribeWindow(std::span<const float> samples, std::int64_t chunkStart,
                                                              std::int64_t chunkEnd) {
    if (!models_.melExtractor || !models_.encoder || !models_.decoder || !models_.rnntDecoder) {
        throw ASRError::notInitialized();
    }
    const auto window = UnifiedEncodedWindow::encode(
        *models_.encoder, *models_.melExtractor,
        samples.subspan(static_cast<std::size_t>(chunkStart), static_cast<std::size_t>(chunkEnd - chunkStart)));
    models_.rnntDecoder->reset();
    const auto emissions = models_.rnntDecoder->decode(*window.encoded, {.begin = 0, .end = window.validFrames},
                                                       chunkStart / config_.frameSamples);
    std::vector<DecodedToken> tokens;
    tokens.reserve(emissions.size());
    for (const auto& emission : emissions) {
        tokens.push_back({
            .token = static_cast<int>(emission.token),
            .timestamp = static_cast<int>(emission.frame),
            .confidence = emission.prob,
            .duration = 0,
        });
    }
    return tokens;
}

// The streaming protocol

void UnifiedAsrManager::appendAudio(const platform::audio::PCMBuffer& buffer) {
    const std::lock_guard lock(mutex_);
    StreamingAsrUtils::appendAudio(buffer, streamConverter_, bufferedSamples_);
}

void UnifiedAsrManager::processBufferedAudio() {}

std::string UnifiedAsrManager::finish() {
    PartialTranscriptCallback callback;
    std::string text;
    {
        const std::lock_guard lock(mutex_);
        const auto held = streamConverter_.finish();
        bufferedSamples_.insert(bufferedSamples_.end(), held.begin(), held.end());
        text = transcribeLocked(bufferedSamples_);
        bufferedSamples_.clear();
        lastTranscript_ = text;
        callback = partialCallback_;
    }
    if (callback) {
        callback(text);
    }
    return text;
}

std::string UnifiedAsrManager::getPartialTranscript() const {
    const std::lock_guard lock(mutex_);
    return lastTranscript_;
}

void UnifiedAsrManager::reset() {
    const std::lock_guard lock(mutex_);
    resetLocked();
}

void UnifiedAsrManager::resetLocked() {
    bufferedSamples_.clear();
    streamConverter_.reset();
    lastTranscript_.clear();
    if (models_.rnntDecoder) {
        models_.rnntDecoder->reset();
    }
}

void UnifiedAsrManager::cleanup() {
    const std::lock_guard lock(mutex_);
    try {
        resetLocked();
    } catch (...) {
        // The models go anyway, and a fresh decoder comes with the next load.
    }
    models_ = {};
    logger_.info("UnifiedAsrManager resources cleaned up");
}

} // namespace quorl
