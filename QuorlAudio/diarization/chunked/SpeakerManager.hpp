#pragma once

#include "QuorlAudio/diarization/chunked/PermanentSpeakers.hpp"
#include "QuorlAudio/diarization/chunked/RawEmbedding.hpp"
#include "QuorlAudio/diarization/chunked/Speaker.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerIdCounter.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerInitializationMode.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/UUID.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// The distance and duration bounds a speaker database assigns embeddings with.
struct SpeakerManagerConfig {
    // Cosine distance below which an embedding joins an existing speaker.
    float speakerThreshold = 0.84f;
    // Cosine distance below which the joined speaker's embedding is also refined.
    float embeddingThreshold = 0.56f;
    // Seconds of speech that may create a new speaker.
    float minSpeechDuration = 1.0f;
    // Kept for callers; no operation of the database reads it.
    float minEmbeddingUpdateDuration = 2.0f;
};

// Every field of a speaker to insert, or to write over a stored one.
struct SpeakerUpsert {
    std::string id{};
    // Absent: the id on insert, the stored name on update.
    std::optional<std::string> name{};
    std::vector<float> currentEmbedding{};
    float duration = 0;
    std::vector<RawEmbedding> rawEmbeddings{};
    std::int64_t updateCount = 1;
    // Absent: now.
    std::optional<Speaker::Date> createdAt{};
    std::optional<Speaker::Date> updatedAt{};
    // True marks the speaker permanent; false never clears the mark.
    bool isPermanent = false;
};

// The chunked diarizer's database of known speakers, keyed by id in text order. It assigns each speaker embedding
// to the nearest known speaker (refining that speaker's voice profile when very close) or creates a numbered
// speaker, and lets an application load, curate and read the speakers. A plain value without a lock: copies are
// independent, and one manager serves one operation at a time.
class SpeakerManager {
public:
    struct Match {
        std::optional<std::string> id{};
        float distance = 0;
    };
    struct RankedSpeaker {
        std::string id{};
        float distance = 0;
    };
    struct MergeablePair {
        std::string speakerToMerge{};
        std::string destination{};
        bool operator==(const MergeablePair&) const = default;
    };
    struct Statistics {
        std::size_t totalSpeakers = 0;
        float totalDuration = 0;
        float averageConfidence = 0;
        std::size_t speakersWithHistory = 0;
    };
    using Predicate = std::function<bool(const Speaker&)>;

    static constexpr std::size_t embeddingSize = 256;

    explicit SpeakerManager(const SpeakerManagerConfig& config = {});

    float speakerThreshold;
    float embeddingThreshold;
    float minSpeechDuration;
    float minEmbeddingUpdateDuration;

    const std::map<std::string, Speaker>& speakerDatabase() const { return speakerDatabase_; }
    std::int64_t nextSpeakerId() const { return ids_.next(); }
    std::int64_t highestSpeakerId() const { return ids_.highest(); }

    // The speaker the embedding joined or created, as stored afterwards; none for a wrong length or speech too
    // short to create a speaker. `threshold` replaces `speakerThreshold` for this call.
    std::optional<Speaker> assignSpeaker(std::span<const float> embedding, float speechDuration,
                                         std::optional<float> threshold = std::nullopt);
    // The nearest speaker at or within the threshold; no id and +infinity otherwise.
    Match findSpeaker(std::span<const float> embedding, std::optional<float> threshold = std::nullopt) const;
    // Every speaker at or within the threshold, nearest first, ties in id order.
    std::vector<RankedSpeaker> findMatchingSpeakers(std::span<const float> embedding,
                                                    std::optional<float> threshold = std::nullopt) const;

    void initializeKnownSpeakers(const std::vector<Speaker>& speakers, SpeakerInitializationMode mode,
                                 PermanentSpeakers permanent);
    void reset(PermanentSpeakers permanent);
    void upsertSpeaker(const Speaker& speaker);
    void upsertSpeaker(const SpeakerUpsert& upsert);

    void makeSpeakerPermanent(const std::string& id);
    void revokePermanence(const std::string& id);
    void resetPermanentFlags();
    // Folds the source into the destination and removes it; silently nothing for equal or unknown ids, or a
    // protected permanent source.
    void mergeSpeaker(const std::string& source, const std::string& destination,
                      const std::optional<std::string>& mergedName, PermanentSpeakers permanent);
    // Pairs of speakers closer than the threshold; the earlier id receives the later one unless the later one
    // is permanent. With `protect`, two permanent speakers are never paired.
    std::vector<MergeablePair> findMergeablePairs(std::optional<float> threshold, PermanentSpeakers permanent) const;
    void removeSpeaker(const std::string& id, PermanentSpeakers permanent);
    void removeSpeakersInactive(Speaker::Date cutoff, PermanentSpeakers permanent);
    void removeSpeakersInactive(std::chrono::duration<double> interval, PermanentSpeakers permanent);
    // The predicate sees every speaker, permanent ones included.
    void removeSpeakers(const Predicate& predicate, PermanentSpeakers permanent = PermanentSpeakers::protect);
    // Moves the first raw embedding of that segment to the end of the destination's history; nothing else of
    // either speaker changes. False when nothing moved.
    bool reassignSegment(const platform::core::UUID& segmentId, const std::string& source,
                         const std::string& destination);

    bool hasSpeaker(const std::string& id) const;
    std::size_t speakerCount() const { return speakerDatabase_.size(); }
    std::vector<std::string> speakerIds() const;
    std::vector<std::string> permanentSpeakerIds() const;
    std::map<std::string, Speaker> getAllSpeakers() const { return speakerDatabase_; }
    std::vector<Speaker> getSpeakerList() const;
    std::optional<Speaker> getSpeaker(const std::string& id) const;
    std::vector<std::string> getCurrentSpeakerNames() const { return speakerIds(); }
    std::vector<std::string> findSpeakers(const Predicate& predicate) const;
    Statistics getGlobalSpeakerStats() const;

private:
    Match findClosestSpeaker(std::span<const float> embedding) const;
    void updateExistingSpeaker(const std::string& speakerId, std::span<const float> embedding, float duration,
                               float distance);
    std::optional<Speaker> createSpeaker(std::span<const float> embedding, float duration, float distance);
    void initializeKnownSpeaker(const Speaker& speaker, SpeakerInitializationMode mode, PermanentSpeakers permanent);
    void insert(const SpeakerUpsert& upsert, Speaker::Date now);
    void accountForInsertedId(const std::string& id);
    void recountIds();
    void warnIfUncounted(const std::string& id) const;
    bool isProtected(const Speaker& speaker, PermanentSpeakers permanent) const;

    AppLogger logger_{"SpeakerManager"};
    std::map<std::string, Speaker> speakerDatabase_;
    SpeakerIdCounter ids_;
};

} // namespace quorl
