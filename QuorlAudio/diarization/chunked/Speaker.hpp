#pragma once

#include "QuorlAudio/diarization/chunked/RawEmbedding.hpp"
#include "QuorlAudio/diarization/chunked/SendableSpeaker.hpp"
#include "platform/core/UUID.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// One known voice of the chunked diarizer's speaker database: a normalised main embedding recomputed from a
// bounded history of segment embeddings. Embeddings whose sum of squares is at most 0.01 (or NaN) are too weak
// to change a speaker; every operation that takes one ignores it and changes nothing. A speaker is a value:
// copies are independent.
class Speaker {
public:
    using Date = std::chrono::system_clock::time_point;

    struct Fields {
        // Absent: the text of a new random UUID.
        std::optional<std::string> id{};
        // Absent: the id.
        std::optional<std::string> name{};
        // Stored normalised.
        std::vector<float> currentEmbedding{};
        float duration = 0;
        // Absent: the moment of construction, the same for both.
        std::optional<Date> createdAt{};
        std::optional<Date> updatedAt{};
        bool isPermanent = false;
    };

    static constexpr std::size_t historyCapacity = 50;

    Speaker() : Speaker(Fields{}) {}
    explicit Speaker(Fields fields);

    // The database key; equality and hashing look at it alone.
    const std::string& id() const { return id_; }

    std::string name;
    std::vector<float> currentEmbedding;
    // Seconds of speech attributed to the speaker.
    float duration = 0;
    Date createdAt;
    // When the main embedding last changed, or the speaker was last merged or updated.
    Date updatedAt;
    std::int64_t updateCount = 1;
    // Oldest first as appended; at most historyCapacity entries through the operations below.
    std::vector<RawEmbedding> rawEmbeddings;
    // Protected from the database's removal, reset, merge and overwrite when the caller asks.
    bool isPermanent = false;

    // Folds one segment in: its embedding joins the history, and the recomputed main embedding is blended with
    // it, `alpha` weighting the old side. Adds the duration and counts the update.
    void updateMainEmbedding(float duration, std::span<const float> embedding, const platform::core::UUID& segmentId,
                             float alpha);
    // Appends to the history, dropping the front entry at capacity, and recomputes the main embedding.
    void addRawEmbedding(const RawEmbedding& raw);
    // Removes the first entry of that segment and recomputes the main embedding; nothing when there is none.
    std::optional<RawEmbedding> removeRawEmbedding(const platform::core::UUID& segmentId);
    // The normalised mean of the history entries as long as the first one; nothing changes for an empty history.
    void recalculateMainEmbedding();
    // Takes over the other speaker's history, duration and update count, and the new name when one is given.
    // Beyond capacity, the newest entries are kept, newest first.
    void mergeWith(const Speaker& other, const std::optional<std::string>& keepName = std::nullopt);
    SendableSpeaker toSendable() const;

    bool operator==(const Speaker& other) const { return id_ == other.id_; }

    // Every member is required when read; the values are kept as read, without normalising or trimming.
    friend void to_json(nlohmann::json& json, const Speaker& speaker);
    friend void from_json(const nlohmann::json& json, Speaker& speaker);

private:
    std::string id_;
};

} // namespace quorl

template <> struct std::hash<quorl::Speaker> { std::size_t operator()(const quorl::Speaker& speaker) const noexcept; };
