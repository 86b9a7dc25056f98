#include "QuorlAudio/asr/streaming/StreamingUnifiedAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/streaming/StreamingAsrUtils.hpp"
#include "QuorlAudio/asr/streaming/UnifiedEncodedWindow.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "platform/core/Error.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <exception>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ModelConfiguration;

} // namespace

StreamingUnifiedAsrManager::StreamingUnifiedAsrManager() : StreamingUnifiedAsrManager(Options{}) {}

StreamingUnifiedAsrManager::StreamingUnifiedAsrManager(Options options)
    : UnifiedAsrEngine(options), logger_("UnifiedStreaming"),
      audioConverter_(ASRConstants::sampleRate), windower_{.config = options.config} {}

std::string StreamingUnifiedAsrManager::displayName() const {
    return "Parakeet Unified 0.6B (" + std::to_string(config_.latencyMs()) + "ms)";
}

// Loading

UnifiedModelLoader StreamingUnifiedAsrManager::loader() const {
    const std::string encoderFile =
        ModelNames::ParakeetUnified::streamingEncoderFile(encoderPrecision_, config_.contextSuffix());
    return {
        .logger = logger_,
        .label = "Parakeet Unified",
        .encoderFile = encoderFile,
        .downloadVariant =
            encoderPrecision_ == UnifiedEncoderPrecision::fp16 ? std::optional<std::string>("fp16") : std::nullopt,
        .extraModelNames = {encoderFile},
        .melWindowSamples = config_.windowSamples(),
        .loadedMessage = "Parakeet Unified models loaded (latency " + std::to_string(config_.latencyMs()) + "ms).",
        .config = config_,
        .encoderPrecision = encoderPrecision_,
    };
}

// Audio intake and decoding

void StreamingUnifiedAsrManager::appendAudio(const platform::audio::PCMBuffer& buffer) {
    const std::lock_guard lock(mutex_);
    StreamingAsrUtils::appendAudio(buffer, audioConverter_, samples_);
}

void StreamingUnifiedAsrManager::processBufferedAudio() {
    std::vector<std::string> partials;
    std::exception_ptr error;
    {
        const std::lock_guard lock(mutex_);
        try {
            requireModels();
            decodeWindows(false, partials);
        } catch (...) {
            error = std::current_exception();
        }
    }
    notify(partials);
    if (error) {
        std::rethrow_exception(error);
    }
}

std::string StreamingUnifiedAsrManager::finish() {
    std::vector<std::string> partials;
    std::exception_ptr error;
    std::string transcript;
    {
        const std::lock_guard lock(mutex_);
        try {
            if (!models_.tokenizer) {
                throw ASRError::notInitialized();
            }
            requireModels();
            const auto held = audioConverter_.finish();
            samples_.insert(samples_.end(), held.begin(), held.end());
            decodeWindows(true, partials);
            transcript = transcriptLocked();
        } catch (...) {
            error = std::current_exception();
        }
    }
    notify(partials);
    if (error) {
        std::rethrow_exception(error);
    }
    return transcript;
}

void StreamingUnifiedAsrManager::requireModels() const {
    if (!models_.melExtractor || !models_.encoder || !models_.decoder || !models_.jointDecision ||
        !models_.rnntDecoder) {
        throw ASRError::notInitialized();
    }
}

void StreamingUnifiedAsrManager::decodeWindows(bool isFinal, std::vector<std::string>& partials) {
    while (const auto plan =
               windower_.nextWindow(samplesGlobalStart_ + static_cast<std::int64_t>(samples_.size()), isFinal)) {
        processWindow(*plan, partials);
        trimSamples();
    }
}

void StreamingUnifiedAsrManager::processWindow(const UnifiedStreamingWindower::Plan& plan,
                                               std::vector<std::string>& partials) {
    const std::int64_t local = plan.startSample - samplesGlobalStart_;
    const std::int64_t localEnd = plan.endSample - samplesGlobalStart_;
    if (local < 0 || static_cast<std::int64_t>(samples_.size()) < localEnd) {
        throw ASRError::processingFailed("Streaming window out of range (trimmed too aggressively)");
    }
    const auto window = UnifiedEncodedWindow::encode(
        *models_.encoder, *models_.melExtractor,
        std::span(samples_).subspan(static_cast<std::size_t>(local), static_cast<std::size_t>(localEnd - local)));
    // Frames missed by windows that failed too long ago to lie in this one's left context are given up, so
    // the stream goes on from the oldest frame this window still holds.
    const std::int64_t first = std::max<std::int64_t>(windower_.decodedFrames - plan.startFrame, 0);
    const std::int64_t last = window.validFrames - plan.heldBackFrames;
    if (last <= first) {
        return;
    }
    const auto emissions = models_.rnntDecoder->decode(*window.encoded, {.begin = first, .end = last}, plan.startFrame);
    // Counted as decoded only now: after a failed decoding the next window, whose left context holds these
    // frames, decodes them again instead of losing their tokens.
    windower_.decodedFrames = plan.startFrame + last;
    for (const auto& emission : emissions) {
        appendEmission(emission);
    }
    if (!emissions.empty() && partialCallback_) {
        partials.push_back(transcriptLocked());
    }
}

void StreamingUnifiedAsrManager::appendEmission(const UnifiedRnntDecoder::Emission& emission) {
    const auto text = models_.tokenizer ? models_.tokenizer->spacedPiece(emission.token) : std::nullopt;
    if (!text) {
        return;
    }
    transcriptCache_ += *text;
    const double frameSeconds = static_cast<double>(config_.frameSamples) / static_cast<double>(config_.sampleRate);
    const double start =
        static_cast<double>(emission.frame * config_.frameSamples) / static_cast<double>(config_.sampleRate);
    // Tokens of one frame share its start; the earlier one ends where the next begins.
    if (!pendingTokenTimings_.empty() && start < pendingTokenTimings_.back().endTime) {
        auto& previous = pendingTokenTimings_.back();
        previous.endTime = std::max(start, previous.startTime);
    }
    pendingTokenTimings_.push_back({
        .token = *text,
        .tokenId = static_cast<int>(emission.token),
        .startTime = start,
        .endTime = start + frameSeconds,
        .confidence = emission.prob,
    });
}

// The next window never starts before one window behind the planned end, so older audio can go.
void StreamingUnifiedAsrManager::trimSamples() {
    const std::int64_t keepFrom = windower_.consumedSamples - config_.windowSamples();
    const std::int64_t drop = keepFrom - samplesGlobalStart_;
    if (drop > 0 && drop <= static_cast<std::int64_t>(samples_.size())) {
        samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(drop));
        samplesGlobalStart_ = keepFrom;
    }
}

void StreamingUnifiedAsrManager::notify(const std::vector<std::string>& partials) const {
    PartialTranscriptCallback callback;
    {
        const std::lock_guard lock(mutex_);
        callback = partialCallback_;
    }
    for (const auto& transcript : partials) {
        callback(transcript);
    }
}

// Transcript and timings

std::string StreamingUnifiedAsrManager::getPartialTranscript() const {
    const std::lock_guard lock(mutex_);
    return transcriptLocked();
}

std::string StreamingUnifiedAsrManager::transcriptLocked() const {
    return std::string(platform::text::trimmingBlanks(transcriptCache_));
}

std::vector<TokenTiming> StreamingUnifiedAsrManager::consumeTokenTimings() {
    const std::lock_guard lock(mutex_);
    return std::exchange(pendingTokenTimings_, {});
}

std::vector<WordTiming> StreamingUnifiedAsrManager::consumeWordTimings() {
    return buildWordTimings(consumeTokenTimings());
}

// Lifecycle

void StreamingUnifiedAsrManager::reset() {
    const std::lock_guard lock(mutex_);
    resetLocked();
}

void StreamingUnifiedAsrManager::resetLocked() {
    samples_.clear();
    samplesGlobalStart_ = 0;
    audioConverter_.reset();
    windower_ = {.config = config_};
    transcriptCache_.clear();
    pendingTokenTimings_.clear();
    if (models_.rnntDecoder) {
        models_.rnntDecoder->reset();
    }
}

void StreamingUnifiedAsrManager::cleanup() {
    const std::lock_guard lock(mutex_);
    try {
        resetLocked();
    } catch (...) {
        // The models go anyway, and a fresh decoder comes with the next load.
    }
    models_ = {};
    logger_.info("StreamingUnifiedAsrManager resources cleaned up");
}

} // namespace quorl
