#pragma once

#include <cstdint>
#include <string>

namespace quorl {

// Geometry and sizes shared by the unified streaming engine and the offline recogniser. A streaming window
// re-encodes leftFrames of context, decodes chunkFrames and looks ahead rightFrames, all of 80 ms each.
struct UnifiedConfig {
    std::int64_t leftFrames = 70;
    std::int64_t chunkFrames = 13;
    std::int64_t rightFrames = 13;
    std::int64_t sampleRate = 16000;
    std::int64_t frameSamples = 1280;
    std::int64_t melFeatures = 128;
    std::int64_t decoderLayers = 2;
    std::int64_t decoderHidden = 640;
    std::int64_t blankIdx = 1024;
    std::int64_t maxSymbolsPerFrame = 10;

    // "left_chunk_right", naming the streaming encoder built for this geometry, e.g. "70_13_13".
    std::string contextSuffix() const;
    std::int64_t windowSamples() const;
    std::int64_t chunkSamples() const;
    std::int64_t rightSamples() const;
    // Delay from a sample's arrival to its decoding: the chunk plus the look-ahead.
    std::int64_t latencyMs() const;

    bool operator==(const UnifiedConfig&) const = default;
};

} // namespace quorl
