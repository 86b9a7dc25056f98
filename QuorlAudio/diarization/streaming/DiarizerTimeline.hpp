#pragma once

#include "QuorlAudio/diarization/streaming/DiarizerChunkResult.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerSpeaker.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineConfig.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineUpdate.hpp"
#include "QuorlAudio/diarization/streaming/TimelineSegmentBuilder.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// The store every end-to-end diarizer writes into. Chunks of per-frame speaker probabilities arrive split into
// finalized frames, which no later chunk changes, and tentative frames, the current guess for the newest ones;
// the timeline keeps the finalized predictions (optionally capped), the tentative ones, each slot's
// segment-building state and one speaker per slot that has spoken or been enrolled.
//
// Any thread may call any operation; each holds the timeline's lock throughout. The lock order is the
// timeline's lock, then a speaker's, never the reverse. The speakers handed out are shared with the timeline:
// each of their operations is atomic, but a consistent view of all of them comes from takeSnapshot() or from
// the update a chunk returns.
class DiarizerTimeline {
public:
    using SpeakerMap = std::map<std::int64_t, std::shared_ptr<DiarizerSpeaker>>;

    class Snapshot {
    public:
        std::map<std::int64_t, DiarizerSpeaker::Snapshot> speakers;
        std::vector<float> finalizedPredictions;
        std::vector<float> tentativePredictions;
        // The finalized cursor.
        std::int64_t numFinalizedFrames = 0;

    private:
        friend class DiarizerTimeline;
        std::vector<SegmentScratch> scratches_;
    };

    struct ConfiguredSnapshot {
        DiarizerTimelineConfig config;
        Snapshot snapshot;
    };

    // Which speakers a reset could keep; no operation of the timeline takes it, resetKeepingSpeakersWhere
    // selects speakers by predicate.
    enum class KeptOnReset {
        nothing,
        namedSpeakers,
        allSpeakers,
        speakersWithoutSegments,
        speakersWithSegments,
    };

    // A whole prediction matrix to rebuild the timeline from.
    struct Rebuild {
        std::span<const float> finalizedPredictions{};
        std::span<const float> tentativePredictions{};
        // Keep the speakers (with their names, without their segments) instead of dropping them.
        bool keepingSpeakers = false;
        // Finalize afterwards, so that no tentative predictions or segments are left.
        bool isComplete = false;
    };

    // Throws std::invalid_argument unless the configuration has at least one speaker slot.
    explicit DiarizerTimeline(DiarizerTimelineConfig config);
    // A timeline rebuilt from the predictions; throws DiarizerTimelineError for misaligned ones.
    DiarizerTimeline(DiarizerTimelineConfig config, const Rebuild& predictions);
    // Predictions, cursor and segment state from the snapshot; its speakers as new speakers with fresh ids,
    // unless the configuration does not store segments.
    DiarizerTimeline(const Snapshot& snapshot, DiarizerTimelineConfig config);
    explicit DiarizerTimeline(const ConfiguredSnapshot& configured);
    DiarizerTimeline(const DiarizerTimeline&) = delete;
    DiarizerTimeline& operator=(const DiarizerTimeline&) = delete;

    const DiarizerTimelineConfig& config() const { return config_; }
    std::int64_t speakerCapacity() const { return config_.numSpeakers; }
    std::vector<float> finalizedPredictions() const;
    std::vector<float> tentativePredictions() const;
    std::int64_t numFinalizedFrames() const;
    std::int64_t numTentativeFrames() const;
    std::int64_t numFrames() const;
    SpeakerMap speakers() const;
    bool hasSegments() const;
    float finalizedDuration() const;
    float tentativeDuration() const;
    float duration() const;

    // Appends a chunk: its finalized frames are numbered from the finalized cursor, whatever its startFrame.
    // Throws DiarizerTimelineError, changing nothing, when an array is not a whole number of rows.
    DiarizerTimelineUpdate addChunk(const DiarizerChunkResult& chunk);
    DiarizerTimelineUpdate addPredictions(std::span<const float> finalizedPredictions,
                                          std::span<const float> tentativePredictions);
    // Ends a stream: the tentative predictions and segments become finalized as they are.
    void finalize();
    // Back to frame 0; the speakers stay (names kept, segments emptied) or go.
    void reset(bool keepingSpeakers);
    // Back to frame 0 keeping the speakers the predicate accepts, with their segments emptied. The predicate
    // runs under the timeline's lock and must not call the timeline.
    void resetKeepingSpeakersWhere(const std::function<bool(const DiarizerSpeaker&)>& predicate);
    DiarizerTimelineUpdate rebuild(const Rebuild& predictions);

    Snapshot takeSnapshot() const;
    // Back to the snapshot. Keeping speakers keeps their current names and the speakers added since; otherwise
    // names come back too and only the snapshot's slots keep a speaker.
    void rollback(const Snapshot& snapshot, bool keepingSpeakers);

    // Names the speaker of a slot, making one when the slot has none; an absent slot means the lowest free one.
    // Nothing, and no change, for a slot outside the speaker slots or when none is free.
    std::shared_ptr<DiarizerSpeaker> upsertSpeaker(std::optional<std::string> name, std::optional<std::int64_t> slot);
    // Puts the speaker at the slot, replacing any other. With transferCurrentSegment, the run in progress goes
    // on for the new speaker and takes the old speaker's segment of that run along; without it the run is
    // forgotten.
    std::shared_ptr<DiarizerSpeaker> upsertSpeaker(std::shared_ptr<DiarizerSpeaker> speaker,
                                                   std::optional<std::int64_t> slot, bool transferCurrentSegment);
    // Takes the slot's speaker out, segments intact; clearCurrentSegment also forgets the slot's run.
    std::shared_ptr<DiarizerSpeaker> removeSpeaker(std::int64_t slot, bool clearCurrentSegment);

    // The kept finalized probability of a slot at an absolute frame; NaN outside the kept frames or slots.
    float probability(std::int64_t speaker, std::int64_t frame) const;
    // The tentative probability at an absolute frame; NaN outside the tentative frames or slots.
    float tentativeProbability(std::int64_t speaker, std::int64_t frame) const;

private:
    struct Emitted {
        std::vector<DiarizerSegment> finalized;
        std::vector<DiarizerSegment> tentative;
    };

    DiarizerTimelineUpdate addChunkUnlocked(const DiarizerChunkResult& chunk);
    void finalizeUnlocked();
    void resetUnlocked(bool keepingSpeakers);
    void resetPredictions();
    void updateSegments(std::span<const float> predictions, bool isFinalized, Emitted& emitted);
    void store(const DiarizerSegment& segment);
    void trimPredictions();
    void verifyPredictionCounts(std::span<const float> finalized, std::span<const float> tentative) const;
    std::int64_t frameCount(std::size_t values) const;
    std::optional<std::int64_t> resolveSlot(std::optional<std::int64_t> slot) const;

    mutable std::mutex mutex_;
    const DiarizerTimelineConfig config_;
    const TimelineSegmentBuilder builder_;
    SpeakerMap speakers_;
    std::vector<float> finalizedPredictions_;
    std::vector<float> tentativePredictions_;
    std::int64_t finalizedCursorFrame_ = 0;
    std::vector<SegmentScratch> scratches_;
};

} // namespace quorl
