#include "QuorlAudio/diarization/streaming/SortformerDiarizer.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/core/Task.hpp"

#include <algorithm>
#include <cstdio>
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

std::int64_t outputFramesCovering(std::int64_t melFrames) {
    return (melFrames + SortformerConfig::subsamplingFactor - 1) / SortformerConfig::subsamplingFactor;
}

template <class T> void append(std::vector<T>& to, const std::vector<T>& values) {
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
    logger_.error(
        "Sortformer config mismatch — diarizer config does not match the loaded model. This produces "
        "incorrect and much slower diarization. diarizer" +
        geometryText(ours.chunkLen, ours.chunkLeftContext, ours.chunkRightContext, ours.fifoLen, ours.spkcacheLen) +
        " vs model" +
        geometryText(embedded->chunkLen, embedded->chunkLeftContext, embedded->chunkRightContext, embedded->fifoLen,
                     embedded->spkcacheLen) +
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
    return AudioConverter(SortformerConfig::sampleRate).resample(samples, *sourceSampleRate);
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
        } catch (...) {}
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
    std::vector<float> chunk(featureBuffer_.begin() + windowStart * mels,
                             featureBuffer_.begin() + (end + right) * mels);
    startFeat_ = end;
    if (end - left >= 1) {
        featureBuffer_.erase(featureBuffer_.begin(), featureBuffer_.begin() + (end - left) * mels);
        featureBufferFirstFrame_ += end - left;
        startFeat_ = left;
    }
    return chunk;
}

void SortformerDiarizer::runChunksLocked(ChunkRun& run, const std::function<void()>& afterChunk) {
    while (auto chunk = nextChunkLocked()) {
        const int leftContext = diarizerChunkIndex_ == 0 ? 0 : config_.chunkLeftContext;
        runStepLocked(*chunk, static_cast<int>(static_cast<std::int64_t>(chunk->size()) / mels), leftContext,
                      config_.chunkRightContext, run);
        if (afterChunk) {
            afterChunk();
        }
    }
}

void SortformerDiarizer::runStepLocked(std::span<const float> chunk, int chunkFrames, int leftContext, int rightContext,
                                       ChunkRun& run) {
    platform::core::Task::checkCancellation();
    auto output = requireModelsLocked().runMainModel(chunk, chunkFrames, state_.spkcache, state_.spkcacheLength,
                                                     state_.fifo, state_.fifoLength);
    const auto kept =
        std::min(output.chunkEmbeddings.size(),
                 static_cast<std::size_t>(std::max(output.chunkLength, 0)) * SortformerConfig::preEncoderDims);
    output.chunkEmbeddings.resize(kept);
    auto result =
        stateUpdater_.streamingUpdate(state_, output.chunkEmbeddings, output.predictions, leftContext, rightContext);
    append(run.confirmed, result.confirmed);
    run.confirmedFrames += static_cast<std::int64_t>(result.confirmed.size()) / speakers;
    run.tentative = std::move(result.tentative);
    ++run.chunks;
    ++diarizerChunkIndex_;
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
    appendFeaturesLocked(melStream_.takeCompleteFrames());
    appendFeaturesLocked(melStream_.takeFinalFrames());
    const std::int64_t audioFrames = outputFramesCovering(featureBufferFirstFrame_ + featureFramesLocked());
    ChunkRun run{.tentative = timeline_->tentativePredictions()};
    auto ending = completeWithSilenceLocked(run, audioFrames, {});
    append(ending.finalized, ending.tentative);
    std::optional<DiarizerTimelineUpdate> update;
    if (!ending.finalized.empty()) {
        update = timeline_->addPredictions(ending.finalized, {});
        numFramesProcessed_ += static_cast<std::int64_t>(ending.finalized.size()) / speakers;
    }
    timeline_->finalize();
    finalized_ = true;
    // The silence that completed the last chunk is no audio: whatever comes next starts chunking afresh, with
    // the speaker cache of this stream.
    clearBuffersLocked();
    return update;
}

// Runs what the features allow, then completes the last core and its right context with silence until every
// output frame the audio covers has a prediction; predictions beyond the audio are dropped. When a chunk
// fails, the chunks before it still reach the timeline.
SortformerDiarizer::Ending SortformerDiarizer::completeWithSilenceLocked(ChunkRun& run, std::int64_t audioFrames,
                                                                         const std::function<void()>& afterChunk) {
    const auto covered = [&] {
        return numFramesProcessed_ + run.confirmedFrames + static_cast<std::int64_t>(run.tentative.size()) / speakers;
    };
    keepingCompletedChunksLocked(run, [&] {
        runChunksLocked(run, afterChunk);
        while (covered() < audioFrames) {
            const int chunksBefore = run.chunks;
            padWithSilenceLocked();
            runChunksLocked(run, afterChunk);
            if (run.chunks == chunksBefore) {
                break;
            }
        }
    });
    const auto wanted =
        static_cast<std::size_t>(std::max<std::int64_t>(audioFrames - numFramesProcessed_, 0)) * speakers;
    Ending ending{.finalized = std::move(run.confirmed), .tentative = std::move(run.tentative)};
    ending.finalized.resize(std::min(ending.finalized.size(), wanted));
    ending.tentative.resize(std::min(ending.tentative.size(), wanted - ending.finalized.size()));
    return ending;
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

void SortformerDiarizer::clearBuffersLocked() {
    melStream_.reset();
    featureBuffer_.clear();
    featureBufferFirstFrame_ = 0;
    startFeat_ = 0;
    diarizerChunkIndex_ = 0;
}

void SortformerDiarizer::resetBuffersLocked(bool keepingSpeakers) {
    clearBuffersLocked();
    numFramesProcessed_ = 0;
    finalized_ = false;
    timeline_->reset(keepingSpeakers);
    featureBuffer_.reserve(static_cast<std::size_t>(
        (std::int64_t{config_.chunkLen} + config_.chunkLeftContext + config_.chunkRightContext + config_.chunkLen) *
        SortformerConfig::subsamplingFactor * mels));
}

std::shared_ptr<DiarizerTimeline> SortformerDiarizer::processComplete(std::span<const float> samples,
                                                                      std::optional<double> sourceSampleRate,
                                                                      const CompleteOptions& options) {
    const auto converted = atModelRate(samples, sourceSampleRate);
    std::lock_guard lock(mutex_);
    return processCompleteLocked(converted, options);
}

std::shared_ptr<DiarizerTimeline> SortformerDiarizer::processComplete(const std::filesystem::path& audioFile,
                                                                      const CompleteOptions& options) {
    const auto samples = AudioConverter(SortformerConfig::sampleRate).resampleAudioFile(audioFile);
    std::lock_guard lock(mutex_);
    return processCompleteLocked(samples, options);
}

// The recording's windows come from the feature loader; the frames after its last window are completed with
// silence as the end of a stream is, so the whole recording is diarized.
std::shared_ptr<DiarizerTimeline> SortformerDiarizer::processCompleteLocked(std::span<const float> samples,
                                                                            const CompleteOptions& options) {
    requireModelsLocked();
    const bool nothingStreamed =
        featureBuffer_.empty() && melStream_.samplesReceived() == 0 && diarizerChunkIndex_ == 0;
    const bool keep = options.keepingEnrolledSpeakers.value_or(nothingStreamed);
    if (!keep) {
        state_ = SortformerStreamingState(config_);
    }
    resetBuffersLocked(keep);
    SortformerFeatureLoader loader(config_, samples);
    const auto total = static_cast<std::int64_t>(samples.size());
    ChunkRun run;
    const auto report = [&] {
        if (options.progressCallback) {
            const std::int64_t covered = diarizerChunkIndex_ * config_.coreFrames() * SortformerConfig::melStride;
            options.progressCallback(std::min(total, covered), total, run.chunks);
        }
    };
    Ending ending;
    try {
        runLoaderWindowsLocked(loader, run, report);
        const int tailStart = std::max(0, loader.startFeat() - loader.lc());
        featureBuffer_.assign(loader.featSeq().begin() + static_cast<std::ptrdiff_t>(tailStart) * mels,
                              loader.featSeq().end());
        featureBufferFirstFrame_ = tailStart;
        startFeat_ = loader.startFeat() - tailStart;
        ending = completeWithSilenceLocked(run, outputFramesCovering(loader.featLength()), report);
    } catch (...) {
        featureBuffer_.clear();
        throw;
    }
    featureBuffer_.clear();
    featureBufferFirstFrame_ = 0;
    startFeat_ = 0;
    numFramesProcessed_ = static_cast<std::int64_t>(ending.finalized.size() + ending.tentative.size()) / speakers;
    if (config_.debugMode) {
        std::printf("[DEBUG] Phase 2 complete: diarizerChunks=%lld, totalProbs=%zu, totalFrames=%lld\n",
                    static_cast<long long>(diarizerChunkIndex_), ending.finalized.size() + ending.tentative.size(),
                    static_cast<long long>(numFramesProcessed_));
        std::fflush(stdout);
    }
    timeline_->rebuild({.finalizedPredictions = ending.finalized,
                        .tentativePredictions = ending.tentative,
                        .keepingSpeakers = keep,
                        .isComplete = options.finalizeOnCompletion});
    return timeline_;
}

void SortformerDiarizer::runLoaderWindowsLocked(SortformerFeatureLoader& loader, ChunkRun& run,
                                                const std::function<void()>& afterChunk) {
    constexpr int subsampling = SortformerConfig::subsamplingFactor;
    while (auto window = loader.next()) {
        runStepLocked(window->chunkFeatures, window->chunkLength, (window->leftOffset + subsampling / 2) / subsampling,
                      (window->rightOffset + subsampling - 1) / subsampling, run);
        afterChunk();
    }
}

std::shared_ptr<DiarizerSpeaker> SortformerDiarizer::enrollSpeaker(std::span<const float> audio,
                                                                   std::optional<double> sourceSampleRate,
                                                                   std::optional<std::string> name,
                                                                   bool overwritingAssignedSpeakerName) {
    const std::string who = name ? "named '" + *name + "'" : "(no name)";
    if (audio.empty()) {
        logger_.warning("Failed to enroll speaker " + who + " because no speech detected");
        return nullptr;
    }
    const auto samples = atModelRate(audio, sourceSampleRate);
    std::lock_guard lock(mutex_);
    requireModelsLocked();
    if (timeline_->hasSegments()) {
        logger_.warning("Trying to enroll a speaker while timeline has segments; timeline will be reset");
    }
    timeline_->reset(true);
    std::set<std::int64_t> kept;
    for (const auto& [index, speaker] : timeline_->speakers()) {
        kept.insert(index);
    }
    clearBuffersLocked();
    melStream_.append(samples);
    appendFeaturesLocked(melStream_.takeFinalFrames());
    std::map<std::int64_t, std::int64_t> activity;
    try {
        activity = enrolmentActivityLocked();
    } catch (...) {
        // No enrolment audio may reach the stream that follows.
        clearBuffersLocked();
        throw;
    }
    if (diarizerChunkIndex_ == 0) {
        clearBuffersLocked();
        const float seconds = static_cast<float>(SortformerConfig::subsamplingFactor * SortformerConfig::melStride) /
                              static_cast<float>(SortformerConfig::sampleRate) *
                              static_cast<float>(config_.chunkLen + config_.chunkRightContext);
        logger_.warning("Failed to enroll speaker " + who +
                        ": not enough audio was provided. Please provide at least " + fixedDecimalText(seconds, 2) +
                        " seconds of speech.");
        return nullptr;
    }
    const auto choice = nameMostActiveLocked(activity, name, who, overwritingAssignedSpeakerName);
    if (choice.speaker) {
        kept.insert(choice.speaker->index());
    }
    timeline_->resetKeepingSpeakersWhere(
        [&](const DiarizerSpeaker& speaker) { return kept.contains(speaker.index()); });
    numFramesProcessed_ = 0;
    clearBuffersLocked();
    if (choice.refused) {
        return nullptr;
    }
    const float seconds = static_cast<float>(samples.size()) / static_cast<float>(SortformerConfig::sampleRate);
    logger_.info("Enrolled speaker " + who + " with " + std::to_string(samples.size()) + " samples (" +
                 fixedDecimalText(seconds, 1) + "s), spkcache=" + std::to_string(state_.spkcacheLength) +
                 ", fifo=" + std::to_string(state_.fifoLength));
    return choice.speaker;
}

// Names the slot that spoke most. A slot that already has a name keeps it unless overwriting is asked for.
SortformerDiarizer::EnrolmentChoice
SortformerDiarizer::nameMostActiveLocked(const std::map<std::int64_t, std::int64_t>& activity,
                                         const std::optional<std::string>& name, const std::string& who,
                                         bool overwriting) {
    const auto best = std::ranges::max_element(activity, {}, [](const auto& entry) { return entry.second; });
    if (best == activity.end() || best->second <= 0) {
        logger_.warning("Failed to enroll speaker " + who + " because no speech detected");
        return {};
    }
    const std::int64_t index = best->first;
    const auto speakers = timeline_->speakers();
    const auto existing = speakers.find(index);
    const auto oldName = existing != speakers.end() && existing->second ? existing->second->name() : std::nullopt;
    if (oldName && !overwriting) {
        logger_.warning("Failed to enroll speaker " + who + ": diarizer matched existing speaker '" + *oldName +
                        "' at index " + std::to_string(index) + " and overwritingAssignedSpeakerName=false");
        return {.speaker = nullptr, .refused = true};
    }
    if (oldName) {
        logger_.warning("Newly-enrolled speaker " + who + " will overwrite the old one named " + *oldName +
                        " at index " + std::to_string(index));
    }
    return {.speaker = timeline_->upsertSpeaker(name, index), .refused = false};
}

// Frames of speech per slot over the enrolment audio: the finalized segments of every step, then the
// tentative segments of the last.
std::map<std::int64_t, std::int64_t> SortformerDiarizer::enrolmentActivityLocked() {
    std::map<std::int64_t, std::int64_t> activity;
    std::optional<DiarizerTimelineUpdate> last;
    while (auto update = processLocked()) {
        for (const auto& segment : update->finalizedSegments) {
            activity[segment.speakerIndex] += segment.endFrame - segment.startFrame;
        }
        last = std::move(update);
    }
    if (last) {
        for (const auto& segment : last->tentativeSegments) {
            activity[segment.speakerIndex] += segment.endFrame - segment.startFrame;
        }
    }
    return activity;
}
} // namespace quorl
