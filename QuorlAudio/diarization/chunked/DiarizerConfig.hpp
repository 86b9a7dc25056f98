#pragma once

#include <cstdint>

namespace quorl {

// The chunked diarizer's settings. Stored as given: nothing is validated or clamped here.
struct DiarizerConfig {
    // Base cosine-distance threshold; the speaker database derives its own thresholds from it.
    float clusteringThreshold = 0.7f;
    // Seconds of speech a local speaker needs in one chunk before it becomes a new speaker, and the shortest
    // segment emitted.
    float minSpeechDuration = 1.0f;
    // Seconds handed to the speaker database, which keeps them.
    float minEmbeddingUpdateDuration = 2.0f;
    // Carried for callers; the chunked diarizer does not read it.
    float minSilenceGap = 0.5f;
    // Carried for callers; the chunked diarizer does not read it.
    std::int64_t numClusters = -1;
    // Segmentation frames a local speaker needs for an embedding, an assignment and its segments.
    float minActiveFramesCount = 10.0f;
    // Adds the speaker database and the stage timings to each result.
    bool debugMode = false;
    // Chunk length and overlap in seconds, each taken to the nearest whole second before use.
    float chunkDuration = 10.0f;
    float chunkOverlap = 0.0f;

    static DiarizerConfig defaultConfig();

    bool operator==(const DiarizerConfig&) const = default;
};

} // namespace quorl
