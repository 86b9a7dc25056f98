#include "QuorlAudio/diarization/chunked/SpeakerUtilities.hpp"

#include "QuorlAudio/diarization/chunked/SumOfSquares.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorl::SpeakerUtilities {

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float veryCloseDistance = 0.2f;
constexpr float qualityMagnitude = 0.1f;
constexpr int segmentHistoryCapacity = 50;
constexpr float unitNormTolerance = 0.001f;

const AppLogger& logger() {
    static const AppLogger instance("SpeakerUtilities");
    return instance;
}

bool isUnitLength(float sumOfSquares) { return std::fabs(sumOfSquares - 1) <= unitNormTolerance; }

std::optional<std::string> creationFailure(const SpeakerCreationRequest& request) {
    if (!(request.duration >= request.config.minSpeakerDuration)) {
        return "Duration " + floatDecimalText(request.duration) + " < minimum " +
               floatDecimalText(request.config.minSpeakerDuration);
    }
    if (!validateEmbedding(request.embedding, qualityMagnitude)) {
        return "Invalid embedding: failed quality checks";
    }
    return std::nullopt;
}

bool newerFirst(const RawEmbedding& a, const RawEmbedding& b) { return a.timestamp() > b.timestamp(); }

} // namespace

float cosineDistance(std::span<const float> a, std::span<const float> b) {
    if (a.empty() || a.size() != b.size()) {
        logger().error("Invalid embeddings: a.count=" + std::to_string(a.size()) +
                       ", b.count=" + std::to_string(b.size()));
        return infinity;
    }
    // Every comparison of the database runs here, so the sums use the vector routine's lanes; only the
    // unit-length shortcut reads them, with a tolerance far above their rounding.
    const float dot = platform::dsp::dot(a.data(), b.data(), a.size());
    const float squaresA = platform::dsp::dot(a.data(), a.data(), a.size());
    const float squaresB = platform::dsp::dot(b.data(), b.data(), b.size());
    if (!(squaresA > 0) || !(squaresB > 0)) {
        logger().warning("Zero magnitude embedding detected");
        return infinity;
    }
    const float similarity =
        isUnitLength(squaresA) && isUnitLength(squaresB) ? dot : dot / (std::sqrt(squaresA) * std::sqrt(squaresB));
    if (similarity <= -1) {
        return 2;
    }
    return 1 - std::min(similarity, 1.0f);
}

bool validateEmbedding(std::span<const float> embedding, float minMagnitude) {
    if (embedding.empty()) {
        logger().error("Empty embedding");
        return false;
    }
    const float magnitude = std::sqrt(sumOfSquaresInOrder(embedding));
    if (!(magnitude > minMagnitude)) {
        logger().warning("Low magnitude embedding: " + floatDecimalText(magnitude));
        return false;
    }
    if (std::any_of(embedding.begin(), embedding.end(), [](float value) { return std::isinf(value); })) {
        logger().error("Embedding contains NaN or Inf");
        return false;
    }
    return true;
}

AssignmentDecision shouldAssignSpeaker(float distance, float duration, const AssignmentConfig& config) {
    const float confidence = 1 - distance;
    if (distance < veryCloseDistance) {
        return {true, !(duration < config.minSpeakerDuration), confidence, "Very high confidence match"};
    }
    if (distance < config.maxDistanceForAssignment && duration >= config.minSegmentDuration) {
        const bool update = duration >= config.minSpeakerDuration && distance <= config.maxDistanceForUpdate;
        return {true, update, confidence, "Sufficient confidence and duration"};
    }
    if (distance < config.maxDistanceForAssignment) {
        return {false, false, confidence, "Duration too short"};
    }
    return {false, false, confidence, "Distance too far"};
}

ClosestSpeaker findClosestSpeaker(std::span<const float> embedding, std::span<const Speaker> candidates) {
    ClosestSpeaker closest{.speaker = std::nullopt, .distance = infinity};
    for (const Speaker& candidate : candidates) {
        const float distance = cosineDistance(embedding, candidate.currentEmbedding);
        if (distance < closest.distance) {
            closest = {.speaker = candidate, .distance = distance};
        }
    }
    return closest;
}

SpeakerCreationResult validateSpeakerCreation(const SpeakerCreationRequest& request) {
    if (std::optional<std::string> reason = creationFailure(request)) {
        return SpeakerCreationFailure{std::move(*reason)};
    }
    const Date createdAt = std::chrono::system_clock::now();
    const Date updatedAt = std::chrono::system_clock::now();
    return SpeakerCreationParams{.id = request.id,
                                 .name = request.name.value_or("Speaker " + request.id),
                                 .duration = request.duration,
                                 .embedding = VDSPOperations::l2Normalize(request.embedding),
                                 .createdAt = createdAt,
                                 .updatedAt = updatedAt};
}

std::optional<Speaker> createSpeaker(const SpeakerCreationRequest& request) {
    SpeakerCreationResult result = validateSpeakerCreation(request);
    if (const auto* failure = std::get_if<SpeakerCreationFailure>(&result)) {
        logger().error("Failed to create speaker: " + failure->reason);
        return std::nullopt;
    }
    SpeakerCreationParams& params = std::get<SpeakerCreationParams>(result);
    return Speaker({.id = std::move(params.id),
                    .name = std::move(params.name),
                    .currentEmbedding = std::move(params.embedding),
                    .duration = params.duration,
                    .createdAt = params.createdAt,
                    .updatedAt = params.updatedAt});
}

std::optional<std::vector<float>> updateEmbedding(std::span<const float> current, std::span<const float> incoming,
                                                  float alpha) {
    if (current.empty() || current.size() != incoming.size() || !validateEmbedding(incoming, qualityMagnitude)) {
        logger().error("Invalid embeddings for update");
        return std::nullopt;
    }
    const std::vector<float> currentUnit = VDSPOperations::l2Normalize(current);
    const std::vector<float> incomingUnit = VDSPOperations::l2Normalize(incoming);
    std::vector<float> blended(current.size());
    for (std::size_t index = 0; index < blended.size(); ++index) {
        blended[index] = alpha * currentUnit[index] + (1 - alpha) * incomingUnit[index];
    }
    return VDSPOperations::l2Normalize(blended);
}

std::optional<HistoryAddition> addRawEmbedding(const History& history, const platform::core::UUID& segmentId,
                                               std::span<const float> embedding, Date timestamp, int maxCapacity) {
    if (!validateEmbedding(embedding, qualityMagnitude)) {
        logger().warning("Invalid embedding for segment " + segmentId.uuidString());
        return std::nullopt;
    }
    History updated = history;
    if (!updated.empty() && std::ssize(updated) >= maxCapacity) {
        updated.erase(updated.begin());
    }
    updated.emplace_back(segmentId, VDSPOperations::l2Normalize(embedding), timestamp);
    const bool shouldRecalculate = updated.size() > 2;
    return HistoryAddition{.updated = std::move(updated), .shouldRecalculate = shouldRecalculate};
}

HistoryRemoval removeRawEmbedding(const History& history, const platform::core::UUID& segmentId) {
    const auto found = std::find_if(history.begin(), history.end(),
                                    [&segmentId](const RawEmbedding& raw) { return raw.segmentId() == segmentId; });
    if (found == history.end()) {
        return {.updated = history, .removed = std::nullopt, .shouldRecalculate = false};
    }
    History updated = history;
    updated.erase(updated.begin() + (found - history.begin()));
    const bool shouldRecalculate = !updated.empty();
    return {.updated = std::move(updated), .removed = *found, .shouldRecalculate = shouldRecalculate};
}

std::optional<SpeakerUpdateResult> updateSpeakerWithSegment(const SegmentUpdateRequest& request) {
    if (request.segmentDuration < request.minSegmentDuration ||
        !validateEmbedding(request.segmentEmbedding, qualityMagnitude)) {
        return std::nullopt;
    }
    const std::vector<float> unit = VDSPOperations::l2Normalize(request.segmentEmbedding);
    std::optional<HistoryAddition> addition = addRawEmbedding(request.currentRawEmbeddings, request.segmentId, unit,
                                                              std::chrono::system_clock::now(), segmentHistoryCapacity);
    if (!addition) {
        return std::nullopt;
    }
    const bool shouldRecalculate = addition->updated.size() > 2;
    return SpeakerUpdateResult{.updatedMainEmbedding =
                                   updateEmbedding(request.currentMainEmbedding, unit, request.alpha),
                               .updatedRawEmbeddings = std::move(addition->updated),
                               .updatedDuration = request.currentDuration + request.segmentDuration,
                               .shouldRecalculate = shouldRecalculate};
}

MergedHistories mergeSpeakers(const History& speaker1Raw, float speaker1Duration, const History& speaker2Raw,
                              float speaker2Duration, int maxCapacity) {
    History combined = speaker1Raw;
    combined.insert(combined.end(), speaker2Raw.begin(), speaker2Raw.end());
    const std::size_t capacity = static_cast<std::size_t>(std::max(maxCapacity, 0));
    if (combined.size() > capacity) {
        std::stable_sort(combined.begin(), combined.end(), newerFirst);
        combined.resize(capacity);
    }
    std::vector<std::vector<float>> embeddings;
    embeddings.reserve(combined.size());
    for (const RawEmbedding& raw : combined) {
        embeddings.push_back(raw.embedding());
    }
    return {.mergedRaw = std::move(combined),
            .mergedDuration = speaker1Duration + speaker2Duration,
            .newMainEmbedding = averageEmbeddings(embeddings)};
}

std::optional<std::vector<float>> averageEmbeddings(const std::vector<std::vector<float>>& embeddings) {
    if (embeddings.empty() || embeddings.front().empty()) {
        return std::nullopt;
    }
    const std::size_t length = embeddings.front().size();
    std::vector<float> sum(length, 0.0f);
    float count = 0;
    for (const std::vector<float>& embedding : embeddings) {
        if (embedding.size() != length) {
            continue;
        }
        platform::dsp::addScaled(embedding.data(), 1.0f, sum.data(), length);
        count += 1;
    }
    for (float& value : sum) {
        value /= count;
    }
    return VDSPOperations::l2Normalize(sum);
}

} // namespace quorl::SpeakerUtilities
