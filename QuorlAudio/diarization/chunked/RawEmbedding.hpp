#pragma once

#include "platform/core/UUID.hpp"

#include <chrono>
#include <nlohmann/json_fwd.hpp>
#include <span>
#include <vector>

namespace quorl {

// One entry of a speaker's embedding history: the embedding of one audio segment.
class RawEmbedding {
public:
    RawEmbedding() = default;
    // The embedding is stored L2-normalised, whatever the caller passes.
    RawEmbedding(const platform::core::UUID& segmentId, std::span<const float> embedding,
                 std::chrono::system_clock::time_point timestamp);

    // The segment the embedding came from; the key for removal from a history.
    const platform::core::UUID& segmentId() const { return segmentId_; }
    const std::vector<float>& embedding() const { return embedding_; }
    std::chrono::system_clock::time_point timestamp() const { return timestamp_; }

    // Every member is required when read, and the embedding is kept as read, without normalising it.
    friend void to_json(nlohmann::json& json, const RawEmbedding& raw);
    friend void from_json(const nlohmann::json& json, RawEmbedding& raw);

private:
    platform::core::UUID segmentId_;
    std::vector<float> embedding_;
    std::chrono::system_clock::time_point timestamp_;
};

} // namespace quorl
