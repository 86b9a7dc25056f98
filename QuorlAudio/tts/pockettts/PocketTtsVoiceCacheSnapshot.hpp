#pragma once

#include <cstdint>
#include <vector>

namespace quorl {

// A shipped voice's precomputed key-value cache of the flow language model.
struct PocketTtsVoiceCacheSnapshot {
    struct LayerCache {
        // Keys then values: 2 × 1 × cacheSeqLen × 16 × 64 floats, row-major.
        std::vector<float> cache;
        // The layer's cache offset as stored in the voice file.
        std::int64_t offset = 0;

        bool operator==(const LayerCache&) const = default;
    };

    // One per transformer layer, from layer 0 up.
    std::vector<LayerCache> layers;
    // Positions each layer's cache holds.
    std::int64_t cacheSeqLen = 0;

    bool operator==(const PocketTtsVoiceCacheSnapshot&) const = default;
};

} // namespace quorl
