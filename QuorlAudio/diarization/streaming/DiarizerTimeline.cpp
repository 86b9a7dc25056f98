#include "QuorlAudio/diarization/streaming/DiarizerTimeline.hpp"

#include "QuorlAudio/diarization/streaming/DiarizerTimelineError.hpp"

#include <cstddef>
#include <limits>
#include <utility>

namespace quorl {

namespace {

using Lock = std::lock_guard<std::mutex>;

constexpr float notAProbability = std::numeric_limits<float>::quiet_NaN();

const DiarizerTimelineConfig& validated(const DiarizerTimelineConfig& config) {
    config.validate();
    return config;
}

std::vector<SegmentScratch> freshScratches(std::int64_t numSpeakers) {
    return std::vector<SegmentScratch>(static_cast<std::size_t>(numSpeakers));
}

void append(std::vector<float>& destination, std::span<const float> values) {
    destination.insert(destination.end(), values.begin(), values.end());
}

} // namespace

DiarizerTimeline::DiarizerTimeline(DiarizerTimelineConfig config)
    : config_(validated(config)), builder_(config_), scratches_(freshScratches(config_.numSpeakers)) {}

DiarizerTimeline::DiarizerTimeline(DiarizerTimelineConfig config, const Rebuild& predictions)
    : DiarizerTimeline(std::move(config)) {
    rebuild({
        .finalizedPredictions = predictions.finalizedPredictions,
        .tentativePredictions = predictions.tentativePredictions,
        .keepingSpeakers = false,
        .isComplete = predictions.isComplete,
    });
}

DiarizerTimeline::DiarizerTimeline(const Snapshot& snapshot, DiarizerTimelineConfig config)
    : config_(validated(config)), builder_(config_), finalizedPredictions_(snapshot.finalizedPredictions),
      tentativePredictions_(snapshot.tentativePredictions), finalizedCursorFrame_(snapshot.numFinalizedFrames),
      scratches_(snapshot.scratches_) {
    // One segment-building state per slot, whatever the snapshot was taken with.
    scratches_.resize(static_cast<std::size_t>(config_.numSpeakers));
    if (!config_.storeSegments) {
        return;
    }
    for (const auto& [slot, speaker] : snapshot.speakers) {
        speakers_[slot] = std::make_shared<DiarizerSpeaker>(speaker);
    }
}

DiarizerTimeline::DiarizerTimeline(const ConfiguredSnapshot& configured)
    : DiarizerTimeline(configured.snapshot, configured.config) {}

std::vector<float> DiarizerTimeline::finalizedPredictions() const {
    Lock lock(mutex_);
    return finalizedPredictions_;
}

std::vector<float> DiarizerTimeline::tentativePredictions() const {
    Lock lock(mutex_);
    return tentativePredictions_;
}

std::int64_t DiarizerTimeline::numFinalizedFrames() const {
    Lock lock(mutex_);
    return finalizedCursorFrame_;
}

std::int64_t DiarizerTimeline::numTentativeFrames() const {
    Lock lock(mutex_);
    return frameCount(tentativePredictions_.size());
}

std::int64_t DiarizerTimeline::numFrames() const {
    Lock lock(mutex_);
    return finalizedCursorFrame_ + frameCount(tentativePredictions_.size());
}

DiarizerTimeline::SpeakerMap DiarizerTimeline::speakers() const {
    Lock lock(mutex_);
    return speakers_;
}

bool DiarizerTimeline::hasSegments() const {
    Lock lock(mutex_);
    for (const auto& [slot, speaker] : speakers_) {
        if (speaker->hasSegments()) {
            return true;
        }
    }
    return false;
}

float DiarizerTimeline::finalizedDuration() const {
    return config_.frameDurationSeconds * static_cast<float>(numFinalizedFrames());
}

float DiarizerTimeline::tentativeDuration() const {
    return config_.frameDurationSeconds * static_cast<float>(numTentativeFrames());
}

float DiarizerTimeline::duration() const { return config_.frameDurationSeconds * static_cast<float>(numFrames()); }

DiarizerTimelineUpdate DiarizerTimeline::addChunk(const DiarizerChunkResult& chunk) {
    Lock lock(mutex_);
    return addChunkUnlocked(chunk);
}

DiarizerTimelineUpdate DiarizerTimeline::addPredictions(std::span<const float> finalizedPredictions,
                                                        std::span<const float> tentativePredictions) {
    Lock lock(mutex_);
    return addChunkUnlocked(DiarizerChunkResult{
        .finalizedPredictions = {finalizedPredictions.begin(), finalizedPredictions.end()},
        .finalizedFrameCount = frameCount(finalizedPredictions.size()),
        .startFrame = finalizedCursorFrame_,
        .tentativePredictions = {tentativePredictions.begin(), tentativePredictions.end()},
        .tentativeFrameCount = frameCount(tentativePredictions.size()),
    });
}

DiarizerTimelineUpdate DiarizerTimeline::addChunkUnlocked(const DiarizerChunkResult& chunk) {
    verifyPredictionCounts(chunk.finalizedPredictions, chunk.tentativePredictions);
    if (config_.maxStoredFrames != 0) {
        append(finalizedPredictions_, chunk.finalizedPredictions);
        trimPredictions();
    }
    tentativePredictions_ = chunk.tentativePredictions;
    for (const auto& [slot, speaker] : speakers_) {
        speaker->clearTentative(true);
    }
    Emitted emitted;
    updateSegments(chunk.finalizedPredictions, true, emitted);
    finalizedCursorFrame_ += chunk.finalizedFrameCount;
    updateSegments(chunk.tentativePredictions, false, emitted);
    return DiarizerTimelineUpdate{
        .finalizedSegments = std::move(emitted.finalized),
        .tentativeSegments = std::move(emitted.tentative),
        .chunkResult = chunk,
    };
}

void DiarizerTimeline::finalize() {
    Lock lock(mutex_);
    finalizeUnlocked();
}

// The scratches stay as the last finalized pass left them: the last tentative view becomes final unchanged.
void DiarizerTimeline::finalizeUnlocked() {
    append(finalizedPredictions_, tentativePredictions_);
    finalizedCursorFrame_ += frameCount(tentativePredictions_.size());
    tentativePredictions_.clear();
    for (const auto& [slot, speaker] : speakers_) {
        speaker->finalize();
    }
    trimPredictions();
}

void DiarizerTimeline::reset(bool keepingSpeakers) {
    Lock lock(mutex_);
    resetUnlocked(keepingSpeakers);
}

void DiarizerTimeline::resetUnlocked(bool keepingSpeakers) {
    resetPredictions();
    if (!keepingSpeakers) {
        speakers_.clear();
        return;
    }
    for (const auto& [slot, speaker] : speakers_) {
        speaker->reset();
    }
}

void DiarizerTimeline::resetKeepingSpeakersWhere(const std::function<bool(const DiarizerSpeaker&)>& predicate) {
    Lock lock(mutex_);
    resetPredictions();
    std::erase_if(speakers_, [&predicate](const auto& entry) { return !predicate(*entry.second); });
    for (const auto& [slot, speaker] : speakers_) {
        speaker->reset();
    }
}

void DiarizerTimeline::resetPredictions() {
    finalizedPredictions_.clear();
    tentativePredictions_.clear();
    finalizedCursorFrame_ = 0;
    scratches_ = freshScratches(config_.numSpeakers);
}

DiarizerTimelineUpdate DiarizerTimeline::rebuild(const Rebuild& predictions) {
    Lock lock(mutex_);
    verifyPredictionCounts(predictions.finalizedPredictions, predictions.tentativePredictions);
    resetUnlocked(predictions.keepingSpeakers);
    finalizedPredictions_.assign(predictions.finalizedPredictions.begin(), predictions.finalizedPredictions.end());
    tentativePredictions_.assign(predictions.tentativePredictions.begin(), predictions.tentativePredictions.end());
    Emitted emitted;
    updateSegments(predictions.finalizedPredictions, true, emitted);
    finalizedCursorFrame_ = frameCount(predictions.finalizedPredictions.size());
    updateSegments(predictions.tentativePredictions, false, emitted);
    if (predictions.isComplete) {
        finalizeUnlocked();
    } else {
        trimPredictions();
    }
    return DiarizerTimelineUpdate{
        .finalizedSegments = std::move(emitted.finalized),
        .tentativeSegments = std::move(emitted.tentative),
        .chunkResult =
            {
                .finalizedPredictions = {predictions.finalizedPredictions.begin(),
                                         predictions.finalizedPredictions.end()},
                .finalizedFrameCount = frameCount(predictions.finalizedPredictions.size()),
                .startFrame = 0,
                .tentativePredictions = {predictions.tentativePredictions.begin(),
                                         predictions.tentativePredictions.end()},
                .tentativeFrameCount = frameCount(predictions.tentativePredictions.size()),
            },
    };
}

DiarizerTimeline::Snapshot DiarizerTimeline::takeSnapshot() const {
    Lock lock(mutex_);
    Snapshot snapshot;
    for (const auto& [slot, speaker] : speakers_) {
        snapshot.speakers.emplace(slot, speaker->takeSnapshot());
    }
    snapshot.finalizedPredictions = finalizedPredictions_;
    snapshot.tentativePredictions = tentativePredictions_;
    snapshot.numFinalizedFrames = finalizedCursorFrame_;
    snapshot.scratches_ = scratches_;
    return snapshot;
}

void DiarizerTimeline::rollback(const Snapshot& snapshot, bool keepingSpeakers) {
    Lock lock(mutex_);
    finalizedPredictions_ = snapshot.finalizedPredictions;
    tentativePredictions_ = snapshot.tentativePredictions;
    finalizedCursorFrame_ = snapshot.numFinalizedFrames;
    scratches_ = snapshot.scratches_;
    for (const auto& [slot, speakerSnapshot] : snapshot.speakers) {
        if (const auto found = speakers_.find(slot); found != speakers_.end()) {
            found->second->rollback(speakerSnapshot, keepingSpeakers);
        }
    }
    if (!keepingSpeakers) {
        std::erase_if(speakers_, [&snapshot](const auto& entry) { return !snapshot.speakers.contains(entry.first); });
    }
}

std::shared_ptr<DiarizerSpeaker> DiarizerTimeline::upsertSpeaker(std::optional<std::string> name,
                                                                 std::optional<std::int64_t> slot) {
    Lock lock(mutex_);
    const auto resolved = resolveSlot(slot);
    if (!resolved) {
        return nullptr;
    }
    if (const auto found = speakers_.find(*resolved); found != speakers_.end()) {
        found->second->rename(std::move(name));
        return found->second;
    }
    auto speaker = std::make_shared<DiarizerSpeaker>(platform::core::UUID::random(), *resolved, std::move(name));
    speakers_[*resolved] = speaker;
    return speaker;
}

std::shared_ptr<DiarizerSpeaker> DiarizerTimeline::upsertSpeaker(std::shared_ptr<DiarizerSpeaker> speaker,
                                                                 std::optional<std::int64_t> slot,
                                                                 bool transferCurrentSegment) {
    Lock lock(mutex_);
    const auto resolved = resolveSlot(slot);
    if (!resolved) {
        return nullptr;
    }
    SegmentScratch& scratch = scratches_[static_cast<std::size_t>(*resolved)];
    const auto previous = speakers_.find(*resolved);
    if (!transferCurrentSegment) {
        scratch = SegmentScratch{};
    } else if (scratch.speaking && previous != speakers_.end()) {
        const std::int64_t runStart = scratch.startFrame;
        const auto moved = previous->second->popLastIf(
            [runStart](const DiarizerSegment& segment) { return segment.startFrame >= runStart; });
        if (moved) {
            speaker->append(*moved);
        }
    }
    speaker->reassign(*resolved);
    speakers_[*resolved] = speaker;
    return speaker;
}

std::shared_ptr<DiarizerSpeaker> DiarizerTimeline::removeSpeaker(std::int64_t slot, bool clearCurrentSegment) {
    Lock lock(mutex_);
    if (slot < 0 || slot >= config_.numSpeakers) {
        return nullptr;
    }
    if (clearCurrentSegment) {
        scratches_[static_cast<std::size_t>(slot)] = SegmentScratch{};
    }
    const auto found = speakers_.find(slot);
    if (found == speakers_.end()) {
        return nullptr;
    }
    auto removed = std::move(found->second);
    speakers_.erase(found);
    return removed;
}

float DiarizerTimeline::probability(std::int64_t speaker, std::int64_t frame) const {
    Lock lock(mutex_);
    const std::int64_t keptFrames = frameCount(finalizedPredictions_.size());
    // Compared before any product is formed, so that no frame number can overflow the index.
    if (speaker < 0 || speaker >= config_.numSpeakers || frame >= finalizedCursorFrame_ ||
        finalizedCursorFrame_ - frame > keptFrames) {
        return notAProbability;
    }
    const std::int64_t row = keptFrames - (finalizedCursorFrame_ - frame);
    return finalizedPredictions_[static_cast<std::size_t>(row * config_.numSpeakers + speaker)];
}

float DiarizerTimeline::tentativeProbability(std::int64_t speaker, std::int64_t frame) const {
    Lock lock(mutex_);
    if (speaker < 0 || speaker >= config_.numSpeakers || frame < finalizedCursorFrame_ ||
        frame - finalizedCursorFrame_ >= frameCount(tentativePredictions_.size())) {
        return notAProbability;
    }
    const std::int64_t row = frame - finalizedCursorFrame_;
    return tentativePredictions_[static_cast<std::size_t>(row * config_.numSpeakers + speaker)];
}

void DiarizerTimeline::updateSegments(std::span<const float> predictions, bool isFinalized, Emitted& emitted) {
    builder_.updateSegments(
        {
            .predictions = predictions,
            .cursorFrame = finalizedCursorFrame_,
            .isFinalized = isFinalized,
            .addTrailingTentative = !isFinalized,
        },
        scratches_, [this, &emitted](const DiarizerSegment& segment) {
            store(segment);
            (segment.isFinalized ? emitted.finalized : emitted.tentative).push_back(segment);
        });
}

// Records the segment in its slot's speaker, making the speaker on the slot's first segment.
void DiarizerTimeline::store(const DiarizerSegment& segment) {
    if (!config_.storeSegments) {
        return;
    }
    auto& speaker = speakers_[segment.speakerIndex];
    if (!speaker) {
        speaker = std::make_shared<DiarizerSpeaker>(platform::core::UUID::random(), segment.speakerIndex, std::nullopt);
    }
    speaker->append(segment);
}

void DiarizerTimeline::trimPredictions() {
    if (!config_.maxStoredFrames) {
        return;
    }
    const auto kept = static_cast<std::int64_t>(finalizedPredictions_.size());
    const std::int64_t excess = kept - *config_.maxStoredFrames * config_.numSpeakers;
    if (excess > 0) {
        finalizedPredictions_.erase(finalizedPredictions_.begin(), finalizedPredictions_.begin() + excess);
    }
}

void DiarizerTimeline::verifyPredictionCounts(std::span<const float> finalized,
                                              std::span<const float> tentative) const {
    const std::int64_t slots = config_.numSpeakers;
    if (static_cast<std::int64_t>(finalized.size()) % slots != 0) {
        throw DiarizerTimelineError::misalignedFinalizedPredictions(static_cast<std::int64_t>(finalized.size()), slots);
    }
    if (static_cast<std::int64_t>(tentative.size()) % slots != 0) {
        throw DiarizerTimelineError::misalignedTentativePredictions(static_cast<std::int64_t>(tentative.size()), slots);
    }
}

std::int64_t DiarizerTimeline::frameCount(std::size_t values) const {
    return static_cast<std::int64_t>(values) / config_.numSpeakers;
}

// The given slot when it is one of the speaker slots, else the lowest slot without a speaker.
std::optional<std::int64_t> DiarizerTimeline::resolveSlot(std::optional<std::int64_t> slot) const {
    if (slot) {
        return *slot >= 0 && *slot < config_.numSpeakers ? slot : std::nullopt;
    }
    for (std::int64_t candidate = 0; candidate < config_.numSpeakers; ++candidate) {
        if (!speakers_.contains(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace quorl
