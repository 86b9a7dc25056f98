#pragma once

#include "QuorlAudio/diarization/chunked/AssignmentConfig.hpp"
#include "QuorlAudio/diarization/chunked/AssignmentDecision.hpp"
#include "QuorlAudio/diarization/chunked/RawEmbedding.hpp"
#include "QuorlAudio/diarization/chunked/Speaker.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerCreationParams.hpp"
#include "QuorlAudio/diarization/chunked/SpeakerUpdateResult.hpp"
#include "platform/core/UUID.hpp"

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Stateless operations over speaker embeddings and histories, for the speaker database and for clients that
// keep their own speaker store. They return new values and log through the "SpeakerUtilities" logger.
namespace quorl::SpeakerUtilities {

using Date = std::chrono::system_clock::time_point;
using History = std::vector<RawEmbedding>;

struct ClosestSpeaker {
    std::optional<Speaker> speaker{};
    float distance = 0;
};

struct SpeakerCreationRequest {
    std::string id{};
    // Absent: "Speaker " and the id.
    std::optional<std::string> name{};
    float duration = 0;
    std::vector<float> embedding{};
    AssignmentConfig config = AssignmentConfig::current();
};

struct HistoryAddition {
    History updated{};
    bool shouldRecalculate = false;
};

struct HistoryRemoval {
    History updated{};
    std::optional<RawEmbedding> removed{};
    bool shouldRecalculate = false;
};

struct SegmentUpdateRequest {
    std::vector<float> currentMainEmbedding{};
    History currentRawEmbeddings{};
    float currentDuration = 0;
    float segmentDuration = 0;
    std::vector<float> segmentEmbedding{};
    platform::core::UUID segmentId{};
    // The weight of the current main embedding.
    float alpha = 0.9f;
    float minSegmentDuration = 1.0f;
};

struct MergedHistories {
    History mergedRaw{};
    float mergedDuration = 0;
    std::optional<std::vector<float>> newMainEmbedding{};
};

// One minus the cosine similarity, in [0, 2]; +infinity when the vectors differ in length, are empty or one has
// no magnitude. Vectors already of unit length skip the norms.
float cosineDistance(std::span<const float> a, std::span<const float> b);

// Non-empty, a magnitude strictly above the minimum, and every value finite.
bool validateEmbedding(std::span<const float> embedding, float minMagnitude);

AssignmentDecision shouldAssignSpeaker(float distance, float duration, const AssignmentConfig& config);

// The first candidate at the smallest finite distance; none and +infinity when no candidate is comparable.
ClosestSpeaker findClosestSpeaker(std::span<const float> embedding, std::span<const Speaker> candidates);

SpeakerCreationResult validateSpeakerCreation(const SpeakerCreationRequest& request);
std::optional<Speaker> createSpeaker(const SpeakerCreationRequest& request);

// The normalised blend of the two normalised vectors, `alpha` weighting the current one.
std::optional<std::vector<float>> updateEmbedding(std::span<const float> current, std::span<const float> incoming,
                                                  float alpha);

// Appends the normalised embedding, dropping the front entry when the history is at capacity; a capacity
// below 1 never evicts from an empty history. Nothing for an embedding that fails the quality check.
std::optional<HistoryAddition> addRawEmbedding(const History& history, const platform::core::UUID& segmentId,
                                               std::span<const float> embedding, Date timestamp, int maxCapacity);
HistoryRemoval removeRawEmbedding(const History& history, const platform::core::UUID& segmentId);

std::optional<SpeakerUpdateResult> updateSpeakerWithSegment(const SegmentUpdateRequest& request);

// Beyond capacity the newest entries are kept, newest first; a negative capacity keeps none.
MergedHistories mergeSpeakers(const History& speaker1Raw, float speaker1Duration, const History& speaker2Raw,
                              float speaker2Duration, int maxCapacity);

// The normalised mean of the vectors as long as the first; nothing for no vector or an empty first one.
std::optional<std::vector<float>> averageEmbeddings(const std::vector<std::vector<float>>& embeddings);

} // namespace quorl::SpeakerUtilities
