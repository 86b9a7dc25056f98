#include "QuorlAudio/diarization/streaming/SortformerDiarizer.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Task.hpp"

#include <algorithm>
#include <string>

namespace quorl {
namespace {

constexpr std::int64_t mels = SortformerConfig::melFeatures;
constexpr std::int64_t speakers = SortformerConfig::numSpeakers;

DiarizerTimelineConfig withModelGeometry(DiarizerTimelineConfig timelineConfig, const SortformerConfig& config) {
    timelineConfig.numSpeakers = SortformerConfig::numSpeakers;
    timelineConfig.frameDurationSeconds = config.frameDurationSeconds();
    return timelineConfig;
}

std::string geometryText(int chunkLen, int leftContext, int rightContext, int fifoLen, int spkcacheLen) {
    return "(chunkLen=" + std::to_string(chunkLen) + ", leftCtx=" + std::to_string(leftContext) +
           ", rightCtx=" + std::to_string(rightContext) + ", fifoLen=" + std::to_string(fifoLen) +
           ", spkcacheLen=" + std::to_string(spkcacheLen) + ")";
}

SortformerStreamingState emptiedState(const SortformerConfig& config) {
    SortformerStreamingState state(config);
    state.spkcache = {};
    state.fifo = {};
    state.meanSilenceEmbedding = {};
    return state;
}

template <class T>
void append(std::vector<T>& to, const std::vector<T>& values) {
    to.insert(to.end(), values.begin(), values.end());
}

} // namespace

SortformerDiarizer::SortformerDiarizer(const SortformerConfig& config, DiarizerTimelineConfig timelineConfig)
    : timeline_(std::make_shared<DiarizerTimeline>(withModelGeometry(std::move(timelineConfig), config))),
      state_(config), config_(config), stateUpdater_(config) {}

void SortformerDiarizer::initialize(const std::filesystem::path& mainModelPath,
                                    std::optional<platform::ml::ComputeUnits> computeUnits) {
    logger_.info("Initializing Sortformer diarizer (combined pipeline mode)");
    const auto models = SortformerModels::load(config_, mainModelPath, computeUnits);
    install(models);
    logger_.info("Sortformer initialized in " + fixedDecimalText(models.compilationDuration(), 2) + "s");
}

void SortformerDiarizer::initialize(const SortformerModels& models) {
    install(models);
    logger_.info("Sortformer initialized with pre-loaded models");
}

void SortformerDiarizer::install(const SortformerModels& models) {
    logMismatch(models);
    std::lock_guard lock(mutex_);
    models_ = models;
    state_ = SortformerStreamingState(config_);
    resetBuffersLocked(false);
}

void SortformerDiarizer::logMismatch(const SortformerModels& models) const {
    const auto embedded = models.embeddedConfig();
    const SortformerModels::EmbeddedConfig ours{.chunkLen = config_.chunkLen,
                                                .chunkLeftContext = config_.chunkLeftContext,
                                                .chunkRightContext = config_.chunkRightContext,
                                                .fifoLen = config_.fifoLen,
                                                .spkcacheLen = config_.spkcacheLen};
    if (!embedded || *embedded == ours) {
        return;
    }
    logger_.error("Sortformer config mismatch — diarizer config does not match the loaded model. This produces "
                  "incorrect and much slower diarization. diarizer" +
                  geometryText(ours.chunkLen, ours.chunkLeftContext, ours.chunkRightContext, ours.fifoLen,
                               ours.spkcacheLen) +
                  " vs model" +
                  geometryText(embedded->chunkLen, embedded->chunkLeftContext, embedded->chunkRightContext,
                               embedded->fifoLen, embedded->spkcacheLen) +
                  ". Construct SortformerDiarizer with the SortformerConfig matching the model variant.");
}

bool SortformerDiarizer::isAvailable() const {
    std::lock_guard lock(mutex_);
    return models_.has_value();
}

std::int64_t SortformerDiarizer::numFramesProcessed() const {
    std::lock_guard lock(mutex_);
    return numFramesProcessed_;
}

std::optional<double> SortformerDiarizer::modelFrameHz() const {
    const float frameSeconds = static_cast<float>(SortformerConfig::subsamplingFactor * SortformerConfig::melStride) /
                               static_cast<float>(SortformerConfig::sampleRate);
    return 1.0 / static_cast<double>(frameSeconds);
}

std::shared_ptr<DiarizerTimeline> SortformerDiarizer::timeline() const {
    std::lock_guard lock(mutex_);
    return timeline_;
}

SortformerStreamingState SortformerDiarizer::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::vector<float> SortformerDiarizer::atModelRate(std::span<const float> samples,
                                                   std::optional<double> sourceSampleRate) const {
    if (!sourceSampleRate || *sourceSampleRate == static_cast<double>(SortformerConfig::sampleRate)) {
        return {samples.begin(), samples.end()};
    }
    return AudioConverter(SortformerConfig::sampleRate, false).resample(samples, *sourceSampleRate);
}

void SortformerDiarizer::addAudio(std::span<const float> samples, std::optional<double> sourceSampleRate) {
    const auto converted = atModelRate(samples, sourceSampleRate);
    addAudio(converted);
}

void SortformerDiarizer::addAudio(std::span<const float> samples) {
    std::lock_guard lock(mutex_);
    melStream_.append(samples);
    produceFeaturesLocked();
}

std::optional<DiarizerTimelineUpdate> SortformerDiarizer::process() {
    std::lock_guard lock(mutex_);
    return processLocked();
}

std::optional<DiarizerTimelineUpdate> SortformerDiarizer::process(std::span<const float> samples,
                                                                  std::optional<double> sourceSampleRate) {
    const auto converted = atModelRate(samples, sourceSampleRate);
    std::lock_guard lock(mutex_);
    melStream_.append(converted);
    produceFeaturesLocked();
    return processLocked();
}

std::optional<DiarizerTimelineUpdate> SortformerDiarizer::processLocked() {
    requireModelsLocked();
    ChunkRun run;
    keepingCompletedChunksLocked(run, [&] { runChunksLocked(run); });
    return deliverLocked(run);
}

void SortformerDiarizer::keepingCompletedChunksLocked(ChunkRun& run, const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        // The chunks that did run have moved the streaming state on; their frames must reach the timeline or
        // they are lost for good. The first error is the one reported.
        try {
            deliverLocked(run);
        } catch (...) {
        }
        throw;
    }
}

const SortformerModels& SortformerDiarizer::requireModelsLocked() const {
    if (!models_) {
        throw SortformerError::notInitialized();
    }
    return *models_;
}

std::int64_t SortformerDiarizer::featureFramesLocked() const {
    return static_cast<std::int64_t>(featureBuffer_.size()) / mels;
}

// Frames are made only once the audio reaches the next chunk's last frame, counted the way a window of
// melWindow samples every melStride samples would reach it; then every complete frame is taken.
void SortformerDiarizer::produceFeaturesLocked() {
    const std::int64_t target = startFeat_ + config_.coreFrames() +
                                std::int64_t{SortformerConfig::subsamplingFactor} * config_.chunkRightContext;
    if (target - featureFramesLocked() < 1) {
        return;
    }
    const std::int64_t streamTarget = featureBufferFirstFrame_ + target;
    const std::int64_t required = SortformerConfig::melWindow + (streamTarget - 1) * SortformerConfig::melStride;
    if (melStream_.samplesReceived() < required) {
        return;
    }
    appendFeaturesLocked(melStream_.takeCompleteFrames());
}

void SortformerDiarizer::appendFeaturesLocked(const std::vector<float>& frames) { append(featureBuffer_, frames); }

std::optional<std::vector<float>> SortformerDiarizer::nextChunkLocked() {
    const std::int64_t core = config_.coreFrames();
    const std::int64_t left = std::int64_t{SortformerConfig::subsamplingFactor} * config_.chunkLeftContext;
    const std::int64_t right = std::int64_t{SortformerConfig::subsamplingFactor} * config_.chunkRightContext;
    const std::int64_t frames = featureFramesLocked();
    const std::int64_t end = std::min(frames, startFeat_ + core);
    if (startFeat_ >= end || end + right > frames) {
        return std::nullopt;
    }
    const std::int64_t windowStart = startFeat_ - std::min(startFeat_, left);
    std::vector<float> chunk(featureBuffer_.begin() + windowStart * mels, featureBuffer_.begin() + (end + right) * mels);
    startFeat_ = end;
    if (end - left >= 1) {
        featureBuffer_.erase(featureBuffer_.begin(), featureBuffer_.begin() + (end - left) * mels);
        featureBufferFirstFrame_ += end - left;
        startFeat_ = left;
    }
    return chunk;
}

void SortformerDiarizer::runChunksLocked(ChunkRun& run) {
    const SortformerModels& models = requireModelsLocked();
    while (auto chunk = nextChunkLocked()) {
        platform::core::Task::checkCancellation();
        const int chunkFrames = static_cast<int>(static_cast<std::int64_t>(chunk->size()) / mels);
        auto output = models.runMainModel(*chunk, chunkFrames, state_.spkcache, state_.spkcacheLength, state_.fifo,
                                          state_.fifoLength);
        const auto kept = std::min(output.chunkEmbeddings.size(),
                                   static_cast<std::size_t>(std::max(output.chunkLength, 0)) *
                                       SortformerConfig::preEncoderDims);
        output.chunkEmbeddings.resize(kept);
        const int leftContext = diarizerChunkIndex_ == 0 ? 0 : config_.chunkLeftContext;
        auto result = stateUpdater_.streamingUpdate(state_, output.chunkEmbeddings, output.predictions, leftContext,
                                                    config_.chunkRightContext);
        append(run.confirmed, result.confirmed);
        run.confirmedFrames += static_cast<std::int64_t>(result.confirmed.size()) / speakers;
        run.tentative = std::move(result.tentative);
        ++run.chunks;
        ++diarizerChunkIndex_;
    }
}

std::optional<DiarizerTimelineUpdate> SortformerDiarizer::deliverLocked(const ChunkRun& run) {
    if (run.confirmed.empty()) {
        return std::nullopt;
    }
    const DiarizerChunkResult result{.finalizedPredictions = run.confirmed,
                                     .finalizedFrameCount = run.confirmedFrames,
                                     .startFrame = numFramesProcessed_,
                                     .tentativePredictions = run.tentative,
                                     .tentativeFrameCount = static_cast<std::int64_t>(run.tentative.size()) / speakers};
    auto update = timeline_->addChunk(result);
    numFramesProcessed_ += run.confirmedFrames;
    return update;
}

std::optional<DiarizerTimelineUpdate> SortformerDiarizer::finalizeSession() {
    std::lock_guard lock(mutex_);
    requireModelsLocked();
    if (finalized_) {
        return std::nullopt;
    }
    const auto predictions = finalPredictionsLocked();
    std::optional<DiarizerTimelineUpdate> update;
    if (!predictions.empty()) {
        update = timeline_->addPredictions(predictions, {});
        numFramesProcessed_ += static_cast<std::int64_t>(predictions.size()) / speakers;
    }
    timeline_->finalize();
    finalized_ = true;
    // The silence that completed the last chunk is no audio: whatever comes next starts chunking afresh, with
    // the speaker cache of this stream.
    featureBuffer_.clear();
    featureBufferFirstFrame_ = 0;
    startFeat_ = 0;
    diarizerChunkIndex_ = 0;
    return update;
}

// Runs what the buffered audio allows, then completes the last core and its right context with silence until
// every output frame the audio covers has a prediction; frames beyond the audio are dropped.
std::vector<float> SortformerDiarizer::finalPredictionsLocked() {
    appendFeaturesLocked(melStream_.takeCompleteFrames());
    appendFeaturesLocked(melStream_.takeFinalFrames());
    const std::int64_t audioFrames =
        (featureBufferFirstFrame_ + featureFramesLocked() + SortformerConfig::subsamplingFactor - 1) /
        SortformerConfig::subsamplingFactor;
    ChunkRun run;
    std::vector<float> tentative = timeline_->tentativePredictions();
    const auto covered = [&] {
        return numFramesProcessed_ + run.confirmedFrames + static_cast<std::int64_t>(tentative.size()) / speakers;
    };
    const auto runAvailableChunks = [&] {
        runChunksLocked(run);
        if (run.chunks > 0) {
            tentative = run.tentative;
        }
    };
    keepingCompletedChunksLocked(run, [&] {
        runAvailableChunks();
        while (covered() < audioFrames) {
            const int chunksBefore = run.chunks;
            padWithSilenceLocked();
            runAvailableChunks();
            if (run.chunks == chunksBefore) {
                break;
            }
        }
    });
    std::vector<float> predictions = std::move(run.confirmed);
    append(predictions, tentative);
    const std::int64_t wanted = std::max<std::int64_t>(audioFrames - numFramesProcessed_, 0);
    predictions.resize(std::min(predictions.size(), static_cast<std::size_t>(wanted * speakers)));
    return predictions;
}

void SortformerDiarizer::padWithSilenceLocked() {
    const std::int64_t wanted = startFeat_ + config_.coreFrames() +
                                std::int64_t{SortformerConfig::subsamplingFactor} * config_.chunkRightContext;
    const std::int64_t missing = wanted - featureFramesLocked();
    if (missing > 0) {
        featureBuffer_.resize(featureBuffer_.size() + static_cast<std::size_t>(missing * mels),
                              SortformerMelStream::silenceValue());
    }
}

void SortformerDiarizer::reset() {
    std::lock_guard lock(mutex_);
    state_ = SortformerStreamingState(config_);
    resetBuffersLocked(false);
    logger_.debug("Sortformer state reset");
}

void SortformerDiarizer::cleanup() {
    std::lock_guard lock(mutex_);
    models_.reset();
    state_ = emptiedState(config_);
    resetBuffersLocked(false);
    logger_.info("Sortformer resources cleaned up");
}

void SortformerDiarizer::resetBuffersLocked(bool keepingSpeakers) {
    melStream_.reset();
    featureBuffer_.clear();
    featureBufferFirstFrame_ = 0;
    startFeat_ = 0;
    diarizerChunkIndex_ = 0;
    numFramesProcessed_ = 0;
    finalized_ = false;
    timeline_->reset(keepingSpeakers);
    featureBuffer_.reserve(static_cast<std::size_t>(
        (std::int64_t{config_.chunkLen} + config_.chunkLeftContext + config_.chunkRightContext + config_.chunkLen) *
        SortformerConfig::subsamplingFactor * mels));
}

std::shared_ptr<DiarizerTimeline> SortformerDiarizer::processComplete(std::span<const float>, std::optional<double>,
                                                                      const CompleteOptions&) {
    throw SortformerError::invalidState("Whole-recording processing is not available yet");
}

std::shared_ptr<DiarizerTimeline> SortformerDiarizer::processComplete(const std::filesystem::path&,
                                                                      const CompleteOptions&) {
    throw SortformerError::invalidState("Whole-recording processing is not available yet");
}

std::shared_ptr<DiarizerSpeaker> SortformerDiarizer::enrollSpeaker(std::span<const float>, std::optional<double>,
                                                                   std::optional<std::string>, bool) {
    throw SortformerError::invalidState("Speaker enrolment is not available yet");
}

} // namespace quorl
