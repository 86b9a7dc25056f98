#pragma once

#include "QuorlAudio/diarization/streaming/DiarizerSegment.hpp"
#include "platform/core/UUID.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// One speaker slot's record in a diarizer timeline: a name, the slot it occupies and its finalized and
// tentative segments, in emission order. Every operation, the name and the slot included, runs under the
// speaker's own lock, so a speaker may be read from any thread while its timeline writes it.
class DiarizerSpeaker {
public:
    struct Snapshot {
        std::optional<std::string> name{};
        std::int64_t index = 0;
        std::vector<DiarizerSegment> finalizedSegments{};
        std::vector<DiarizerSegment> tentativeSegments{};
    };

    DiarizerSpeaker(const platform::core::UUID& id, std::int64_t index, std::optional<std::string> name);
    // A new speaker, with a fresh id, holding what the snapshot holds.
    explicit DiarizerSpeaker(const Snapshot& snapshot);
    DiarizerSpeaker(const DiarizerSpeaker&) = delete;
    DiarizerSpeaker& operator=(const DiarizerSpeaker&) = delete;

    const platform::core::UUID& id() const { return id_; }

    std::optional<std::string> name() const;
    void rename(std::optional<std::string> name);
    std::int64_t index() const;
    void reassign(std::int64_t slot);
    // Copies of the lists.
    std::vector<DiarizerSegment> finalizedSegments() const;
    std::vector<DiarizerSegment> tentativeSegments() const;
    void setFinalizedSegments(std::vector<DiarizerSegment> segments);
    void setTentativeSegments(std::vector<DiarizerSegment> segments);

    // The name, or "Speaker " and the slot.
    std::string description() const;
    bool hasSegments() const;
    std::size_t segmentCount() const;
    std::size_t finalizedSegmentCount() const;
    std::size_t tentativeSegmentCount() const;
    // The last tentative segment, else the last finalized one.
    std::optional<DiarizerSegment> lastSegment() const;
    // Sums of the segments' durations and lengths.
    float speechDuration() const;
    float finalizedSpeechDuration() const;
    float tentativeSpeechDuration() const;
    std::int64_t numSpeechFrames() const;
    std::int64_t numFinalizedSpeechFrames() const;
    std::int64_t numTentativeSpeechFrames() const;

    // Moves the tentative segments, as they are, to the end of the finalized list.
    void finalize();
    // Empties both lists; name and slot stay.
    void reset();
    // Slot and lists from the snapshot, and the name unless keepingName.
    void rollback(const Snapshot& snapshot, bool keepingName);
    Snapshot takeSnapshot() const;
    void clearTentative(bool keepingCapacity);
    // Append to that list whatever the segment's flag says.
    void appendTentative(const DiarizerSegment& segment);
    void appendFinalized(const DiarizerSegment& segment);
    // Appends to the list the segment's flag names.
    void append(const DiarizerSegment& segment);
    std::optional<DiarizerSegment> popLastTentative();
    std::optional<DiarizerSegment> popLastFinalized();
    std::optional<DiarizerSegment> popLast(bool fromFinalized);
    // From the tentative list, else from the finalized list.
    std::optional<DiarizerSegment> popLast();
    // Removes the segment lastSegment() names when the predicate accepts it. The predicate runs under the lock,
    // once, and must not call back into this speaker; what it throws passes on with nothing removed.
    std::optional<DiarizerSegment> popLastIf(const std::function<bool(const DiarizerSegment&)>& predicate);

private:
    std::vector<DiarizerSegment>& lastList();

    const platform::core::UUID id_;
    mutable std::mutex mutex_;
    std::optional<std::string> name_;
    std::int64_t index_;
    std::vector<DiarizerSegment> finalizedSegments_;
    std::vector<DiarizerSegment> tentativeSegments_;
};

} // namespace quorl
