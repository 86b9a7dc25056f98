#pragma once

#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>

namespace quorl {

// The mel frames a chunk hands to the next: the encoder of the next chunk sees them in front of that chunk's
// own frames. Arrays are Float32 [1, mel features, frames], read through their strides.
struct NemotronMultilingualMelCache {
    struct Geometry {
        std::int64_t totalMelFrames;
        std::int64_t melFeatures;
        std::int64_t preEncodeCache;
    };

    // The encoder's mel input, [1, melFeatures, totalMelFrames]: the cache's frames from column 0, the chunk's
    // first frames from column preEncodeCache on, zeros wherever neither reaches.
    static std::shared_ptr<platform::ml::MultiArray> prepend(const platform::ml::MultiArray* melCache,
                                                             const platform::ml::MultiArray& chunkMel,
                                                             const Geometry& geometry);
    // The chunk's last min(frames, preEncodeCache) frames.
    static std::shared_ptr<platform::ml::MultiArray> extract(const platform::ml::MultiArray& chunkMel,
                                                             const Geometry& geometry);
};

} // namespace quorl
