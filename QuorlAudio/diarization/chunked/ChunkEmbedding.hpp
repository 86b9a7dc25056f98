#pragma once

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

namespace quorl {

// One local speaker's embedding in one segmentation window or chunk, with its PLDA feature.
struct ChunkEmbedding {
    // The global speaker label the producer gave.
    std::string speakerId{};
    std::int64_t chunkIndex = 0;
    // The local speaker slot within the chunk.
    std::int64_t speakerIndex = 0;
    double startTimeSeconds = 0;
    double endTimeSeconds = 0;
    std::vector<float> embedding256{};
    std::vector<double> rho128{};

    bool operator==(const ChunkEmbedding&) const = default;
};

// Every member is written, and required when read.
void to_json(nlohmann::json& json, const ChunkEmbedding& embedding);
void from_json(const nlohmann::json& json, ChunkEmbedding& embedding);

} // namespace quorl
