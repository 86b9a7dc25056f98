#include "QuorlAudio/diarization/chunked/SpeakerManager.hpp"

#include "QuorlAudio/diarization/chunked/SpeakerUtilities.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "platform/text/DecimalInteger.hpp"

#include <algorithm>
#include <limits>
#include <utility>

namespace quorl {

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float refinementWeight = 0.9f;

Speaker::Date now() { return std::chrono::system_clock::now(); }

SpeakerUpsert upsertOf(const Speaker& speaker) {
    return {.id = speaker.id(),
            .name = speaker.name,
            .currentEmbedding = speaker.currentEmbedding,
            .duration = speaker.duration,
            .rawEmbeddings = speaker.rawEmbeddings,
            .updateCount = speaker.updateCount,
            .createdAt = speaker.createdAt,
            .updatedAt = speaker.updatedAt,
            .isPermanent = speaker.isPermanent};
}

} // namespace

SpeakerManager::SpeakerManager(const SpeakerManagerConfig& config)
    : speakerThreshold(config.speakerThreshold), embeddingThreshold(config.embeddingThreshold),
      minSpeechDuration(config.minSpeechDuration), minEmbeddingUpdateDuration(config.minEmbeddingUpdateDuration) {}

// Assignment

std::optional<Speaker> SpeakerManager::assignSpeaker(std::span<const float> embedding, float speechDuration,
                                                     std::optional<float> threshold) {
    if (embedding.size() != embeddingSize) {
        logger_.error("Invalid embedding size: " + std::to_string(embedding.size()));
        return std::nullopt;
    }
    const std::vector<float> normalised = VDSPOperations::l2Normalize(embedding);
    const Match closest = findClosestSpeaker(normalised);
    if (closest.id && closest.distance < threshold.value_or(speakerThreshold)) {
        updateExistingSpeaker(*closest.id, normalised, speechDuration, closest.distance);
        return speakerDatabase_.at(*closest.id);
    }
    if (speechDuration >= minSpeechDuration) {
        return createSpeaker(normalised, speechDuration, closest.distance);
    }
    logger_.debug("Audio segment too short (" + floatDecimalText(speechDuration) + "s) to create new speaker");
    return std::nullopt;
}

SpeakerManager::Match SpeakerManager::findClosestSpeaker(std::span<const float> embedding) const {
    Match closest{.id = std::nullopt, .distance = infinity};
    for (const auto& [id, speaker] : speakerDatabase_) {
        const float distance = SpeakerUtilities::cosineDistance(embedding, speaker.currentEmbedding);
        if (distance < closest.distance) {
            closest = {.id = id, .distance = distance};
        }
    }
    return closest;
}

// Very close embeddings refine the voice profile; farther ones only count as the speaker's speech.
void SpeakerManager::updateExistingSpeaker(const std::string& speakerId, std::span<const float> embedding,
                                           float duration, float distance) {
    Speaker& speaker = speakerDatabase_.at(speakerId);
    if (distance < embeddingThreshold) {
        speaker.updateMainEmbedding(duration, embedding, platform::core::UUID::random(), refinementWeight);
        return;
    }
    speaker.duration += duration;
    speaker.updatedAt = now();
}

std::optional<Speaker> SpeakerManager::createSpeaker(std::span<const float> embedding, float duration, float distance) {
    const std::optional<std::int64_t> number = ids_.issue();
    if (!number) {
        logger_.error("No speaker id left to create a new speaker");
        return std::nullopt;
    }
    const std::string id = std::to_string(*number);
    const Speaker::Date createdAt = now();
    Speaker speaker({.id = id,
                     .name = "Speaker " + id,
                     .currentEmbedding = {embedding.begin(), embedding.end()},
                     .duration = duration,
                     .createdAt = createdAt,
                     .updatedAt = createdAt});
    speaker.addRawEmbedding(RawEmbedding(platform::core::UUID::random(), embedding, now()));
    speakerDatabase_.insert_or_assign(id, speaker);
    logger_.info("Created new speaker " + id + " (distance to closest: " + floatDecimalText(distance) + ")");
    return speaker;
}

// Lookups

SpeakerManager::Match SpeakerManager::findSpeaker(std::span<const float> embedding,
                                                  std::optional<float> threshold) const {
    const Match closest = findClosestSpeaker(embedding);
    if (closest.id && closest.distance <= threshold.value_or(speakerThreshold)) {
        return closest;
    }
    return {.id = std::nullopt, .distance = infinity};
}

std::vector<SpeakerManager::RankedSpeaker> SpeakerManager::findMatchingSpeakers(std::span<const float> embedding,
                                                                                std::optional<float> threshold) const {
    const float bound = threshold.value_or(speakerThreshold);
    std::vector<RankedSpeaker> matches;
    for (const auto& [id, speaker] : speakerDatabase_) {
        const float distance = SpeakerUtilities::cosineDistance(embedding, speaker.currentEmbedding);
        if (distance <= bound) {
            matches.push_back({.id = id, .distance = distance});
        }
    }
    std::stable_sort(matches.begin(), matches.end(),
                     [](const RankedSpeaker& a, const RankedSpeaker& b) { return a.distance < b.distance; });
    return matches;
}

// Loading

void SpeakerManager::initializeKnownSpeakers(const std::vector<Speaker>& speakers, SpeakerInitializationMode mode,
                                             PermanentSpeakers permanent) {
    if (mode == SpeakerInitializationMode::reset) {
        reset(permanent);
    }
    for (const Speaker& speaker : speakers) {
        initializeKnownSpeaker(speaker, mode, permanent);
    }
    recountIds();
    logger_.info("Initialized with " + std::to_string(speakerDatabase_.size()) +
                 " known speakers, next ID will be: " + std::to_string(ids_.next()));
}

void SpeakerManager::initializeKnownSpeaker(const Speaker& speaker, SpeakerInitializationMode mode,
                                            PermanentSpeakers permanent) {
    const std::string& id = speaker.id();
    if (speaker.currentEmbedding.size() != embeddingSize) {
        logger_.warning("Skipping speaker " + id +
                        " - invalid embedding size: " + std::to_string(speaker.currentEmbedding.size()));
        return;
    }
    const auto stored = speakerDatabase_.find(id);
    if (stored == speakerDatabase_.end()) {
        speakerDatabase_.emplace(id, speaker);
    } else if (mode == SpeakerInitializationMode::skip) {
        logger_.warning("Speaker " + id + " is already initialized. Skipping new speaker.");
        return;
    } else if (mode == SpeakerInitializationMode::merge) {
        if (isProtected(stored->second, permanent)) {
            logger_.warning("Failed to merge Speaker " + id + " into Speaker " + stored->second.id() +
                            " because the existing speaker is permanent. Skipping");
            return;
        }
        logger_.warning("Speaker " + id + " is already initialized. Merging with old speaker.");
        stored->second.mergeWith(speaker, speaker.name);
    } else {
        if (isProtected(stored->second, permanent)) {
            logger_.warning("Failed to overwrite Speaker " + id + " because it is permanent. Skipping");
            return;
        }
        logger_.warning("Speaker " + id + " is already initialized. Overwriting old speaker.");
        stored->second = speaker;
    }
    logger_.info("Initialized known speaker: " + id + " with " + std::to_string(speaker.rawEmbeddings.size()) +
                 " raw embeddings");
}

void SpeakerManager::reset(PermanentSpeakers permanent) {
    if (permanent == PermanentSpeakers::protect) {
        std::erase_if(speakerDatabase_, [](const auto& entry) { return !entry.second.isPermanent; });
        recountIds();
    } else {
        speakerDatabase_.clear();
        ids_ = SpeakerIdCounter();
    }
    logger_.info("Speaker database reset");
}

void SpeakerManager::upsertSpeaker(const Speaker& speaker) { upsertSpeaker(upsertOf(speaker)); }

void SpeakerManager::upsertSpeaker(const SpeakerUpsert& upsert) {
    const Speaker::Date moment = now();
    const auto stored = speakerDatabase_.find(upsert.id);
    if (stored == speakerDatabase_.end()) {
        insert(upsert, moment);
        return;
    }
    Speaker& speaker = stored->second;
    speaker.currentEmbedding = upsert.currentEmbedding;
    speaker.duration = upsert.duration;
    speaker.rawEmbeddings = upsert.rawEmbeddings;
    speaker.updateCount = upsert.updateCount;
    speaker.updatedAt = upsert.updatedAt.value_or(moment);
    if (upsert.name) {
        speaker.name = *upsert.name;
    }
    speaker.isPermanent = speaker.isPermanent || upsert.isPermanent;
    logger_.info("Updated existing speaker: " + upsert.id);
}

void SpeakerManager::insert(const SpeakerUpsert& upsert, Speaker::Date moment) {
    Speaker speaker({.id = upsert.id,
                     .name = upsert.name.value_or(upsert.id),
                     .currentEmbedding = upsert.currentEmbedding,
                     .duration = upsert.duration,
                     .createdAt = upsert.createdAt.value_or(moment),
                     .updatedAt = upsert.updatedAt.value_or(moment),
                     .isPermanent = upsert.isPermanent});
    speaker.rawEmbeddings = upsert.rawEmbeddings;
    speaker.updateCount = upsert.updateCount;
    speakerDatabase_.emplace(upsert.id, std::move(speaker));
    accountForInsertedId(upsert.id);
    logger_.info("Inserted new speaker: " + upsert.id);
}

// An id at the top of the 64-bit range would leave no next id, so it is stored but not counted.
void SpeakerManager::accountForInsertedId(const std::string& id) {
    if (const std::optional<std::int64_t> value = SpeakerIdCounter::countedValue(id)) {
        ids_.account(*value);
    } else {
        warnIfUncounted(id);
    }
}

void SpeakerManager::recountIds() {
    for (const auto& [id, speaker] : speakerDatabase_) {
        warnIfUncounted(id);
    }
    ids_.recount(speakerDatabase_);
}

void SpeakerManager::warnIfUncounted(const std::string& id) const {
    if (platform::text::decimalInteger(id) && !SpeakerIdCounter::countedValue(id)) {
        logger_.warning("Speaker " + id + " has the largest possible numeric id; it is left out of the id counters");
    }
}

bool SpeakerManager::isProtected(const Speaker& speaker, PermanentSpeakers permanent) const {
    return permanent == PermanentSpeakers::protect && speaker.isPermanent;
}

// Permanence

void SpeakerManager::makeSpeakerPermanent(const std::string& id) {
    const auto stored = speakerDatabase_.find(id);
    if (stored == speakerDatabase_.end()) {
        logger_.warning("Failed to mark speaker " + id + " as permanent (speaker not found).");
        return;
    }
    logger_.info("Marking speaker " + id + " as permanent.");
    stored->second.isPermanent = true;
}

void SpeakerManager::revokePermanence(const std::string& id) {
    const auto stored = speakerDatabase_.find(id);
    if (stored == speakerDatabase_.end()) {
        logger_.warning("Failed to revoke permanence from speaker " + id + " (speaker not found).");
        return;
    }
    logger_.info("Revoking permanence from speaker " + id + ".");
    stored->second.isPermanent = false;
}

void SpeakerManager::resetPermanentFlags() {
    for (auto& [id, speaker] : speakerDatabase_) {
        speaker.isPermanent = false;
    }
}

// Merging

void SpeakerManager::mergeSpeaker(const std::string& source, const std::string& destination,
                                  const std::optional<std::string>& mergedName, PermanentSpeakers permanent) {
    const auto from = speakerDatabase_.find(source);
    const auto into = speakerDatabase_.find(destination);
    if (source == destination || from == speakerDatabase_.end() || into == speakerDatabase_.end() ||
        isProtected(from->second, permanent)) {
        return;
    }
    into->second.mergeWith(from->second, mergedName);
    speakerDatabase_.erase(from);
}

std::vector<SpeakerManager::MergeablePair> SpeakerManager::findMergeablePairs(std::optional<float> threshold,
                                                                              PermanentSpeakers permanent) const {
    const float bound = threshold.value_or(speakerThreshold);
    std::vector<const Speaker*> speakers;
    speakers.reserve(speakerDatabase_.size());
    for (const auto& [id, speaker] : speakerDatabase_) {
        speakers.push_back(&speaker);
    }
    std::vector<MergeablePair> pairs;
    for (std::size_t i = 0; i < speakers.size(); ++i) {
        for (std::size_t j = i + 1; j < speakers.size(); ++j) {
            const Speaker& earlier = *speakers[i];
            const Speaker& later = *speakers[j];
            if (permanent == PermanentSpeakers::protect && earlier.isPermanent && later.isPermanent) {
                logger_.info("findMergeablePairs: Skipping " + earlier.id() + " and " + later.id() +
                             " as both are permanent");
                continue;
            }
            if (SpeakerUtilities::cosineDistance(earlier.currentEmbedding, later.currentEmbedding) < bound) {
                pairs.push_back(later.isPermanent ? MergeablePair{earlier.id(), later.id()}
                                                  : MergeablePair{later.id(), earlier.id()});
            }
        }
    }
    return pairs;
}

// Removal

void SpeakerManager::removeSpeaker(const std::string& id, PermanentSpeakers permanent) {
    const auto stored = speakerDatabase_.find(id);
    if (stored != speakerDatabase_.end() && isProtected(stored->second, permanent)) {
        logger_.warning("Failed to remove speaker: " + id + " (Speaker is permanent)");
        return;
    }
    if (stored == speakerDatabase_.end()) {
        logger_.warning("Failed to remove speaker: " + id + " (Speaker not found)");
        return;
    }
    speakerDatabase_.erase(stored);
    logger_.info("Removing speaker: " + id);
}

void SpeakerManager::removeSpeakersInactive(Speaker::Date cutoff, PermanentSpeakers permanent) {
    for (auto entry = speakerDatabase_.begin(); entry != speakerDatabase_.end();) {
        const Speaker& speaker = entry->second;
        if (speaker.updatedAt < cutoff && !isProtected(speaker, permanent)) {
            const std::string id = entry->first;
            entry = speakerDatabase_.erase(entry);
            logger_.info("Removing speaker " + id + " due to inactivity");
        } else {
            ++entry;
        }
    }
}

void SpeakerManager::removeSpeakersInactive(std::chrono::duration<double> interval, PermanentSpeakers permanent) {
    removeSpeakersInactive(now() - std::chrono::duration_cast<Speaker::Date::duration>(interval), permanent);
}

void SpeakerManager::removeSpeakers(const Predicate& predicate, PermanentSpeakers permanent) {
    const std::vector<Speaker> snapshot = getSpeakerList();
    for (const Speaker& speaker : snapshot) {
        if (predicate(speaker) && !isProtected(speaker, permanent)) {
            speakerDatabase_.erase(speaker.id());
            logger_.info("Removing speaker " + speaker.id() + " based on predicate");
        }
    }
}

// Segment reassignment

bool SpeakerManager::reassignSegment(const platform::core::UUID& segmentId, const std::string& source,
                                     const std::string& destination) {
    const auto from = speakerDatabase_.find(source);
    const auto into = speakerDatabase_.find(destination);
    if (from == speakerDatabase_.end() || into == speakerDatabase_.end()) {
        logger_.warning("One or both speakers not found: from=" + source + ", to=" + destination);
        return false;
    }
    std::vector<RawEmbedding>& sourceHistory = from->second.rawEmbeddings;
    const auto found = std::find_if(sourceHistory.begin(), sourceHistory.end(),
                                    [&segmentId](const RawEmbedding& raw) { return raw.segmentId() == segmentId; });
    if (found == sourceHistory.end()) {
        logger_.warning("Segment " + segmentId.uuidString() + " not found in speaker " + source);
        return false;
    }
    // Moving a segment onto its own speaker would only duplicate it.
    if (source == destination) {
        return false;
    }
    RawEmbedding moved = *found;
    sourceHistory.erase(found);
    into->second.rawEmbeddings.push_back(std::move(moved));
    logger_.info("Reassigned segment " + segmentId.uuidString() + " from " + source + " to " + destination);
    return true;
}

// Listings

bool SpeakerManager::hasSpeaker(const std::string& id) const { return speakerDatabase_.contains(id); }

// The map keeps its ids in byte order, which for UTF-8 text is the order of Unicode scalar values.
std::vector<std::string> SpeakerManager::speakerIds() const {
    std::vector<std::string> ids;
    ids.reserve(speakerDatabase_.size());
    for (const auto& [id, speaker] : speakerDatabase_) {
        ids.push_back(id);
    }
    return ids;
}

std::vector<std::string> SpeakerManager::permanentSpeakerIds() const {
    return findSpeakers([](const Speaker& speaker) { return speaker.isPermanent; });
}

std::vector<Speaker> SpeakerManager::getSpeakerList() const {
    std::vector<Speaker> speakers;
    speakers.reserve(speakerDatabase_.size());
    for (const auto& [id, speaker] : speakerDatabase_) {
        speakers.push_back(speaker);
    }
    return speakers;
}

std::optional<Speaker> SpeakerManager::getSpeaker(const std::string& id) const {
    const auto stored = speakerDatabase_.find(id);
    if (stored == speakerDatabase_.end()) {
        return std::nullopt;
    }
    return stored->second;
}

std::vector<std::string> SpeakerManager::findSpeakers(const Predicate& predicate) const {
    std::vector<std::string> ids;
    for (const auto& [id, speaker] : speakerDatabase_) {
        if (predicate(Speaker(speaker))) {
            ids.push_back(id);
        }
    }
    return ids;
}

SpeakerManager::Statistics SpeakerManager::getGlobalSpeakerStats() const {
    if (speakerDatabase_.empty()) {
        return {};
    }
    Statistics statistics{.totalSpeakers = speakerDatabase_.size()};
    std::int64_t updates = 0;
    for (const auto& [id, speaker] : speakerDatabase_) {
        statistics.totalDuration += speaker.duration;
        updates += speaker.updateCount;
        statistics.speakersWithHistory += speaker.rawEmbeddings.empty() ? 0 : 1;
    }
    const float average = static_cast<float>(updates) / static_cast<float>(statistics.totalSpeakers) / 10;
    logger_.info("Global stats - Speakers: " + std::to_string(statistics.totalSpeakers) + ", Duration: " +
                 fixedDecimalText(statistics.totalDuration, 1) + "s, Avg confidence: " + fixedDecimalText(average, 2) +
                 ", With history: " + std::to_string(statistics.speakersWithHistory));
    statistics.averageConfidence = std::min(average, 1.0f);
    return statistics;
}

} // namespace quorl
