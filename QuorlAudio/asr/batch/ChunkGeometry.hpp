#pragma once

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/foundation/AudioSampleSource.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quorl {

// Where the chunks of a long recording lie: their length and stride in whole encoder frames, the context and
// warm-up in front of them, and their starts, on a regular grid or moved to quiet frame boundaries. Samples
// are read by position from the source, only around the boundaries searched. A value: none of its operations
// changes it.
struct ChunkGeometry {
    struct ChunkStartDecision {
        // First sample of the chunk's own audio.
        std::int64_t start = 0;
        // Whether the chunk is decoded with a short stretch of the preceding audio in front of it.
        bool useWarmupPrefix = false;

        bool operator==(const ChunkStartDecision&) const = default;
    };

    // In samples.
    struct ChunkLayout {
        std::int64_t chunkSamples = 0;
        std::int64_t strideSamples = 0;
        std::int64_t melContextSamples = 0;
        std::int64_t warmupPrefixSamples = 0;

        bool operator==(const ChunkLayout&) const = default;
    };

    std::shared_ptr<const AudioSampleSource> sampleSource;
    // 16 kHz mono samples to cut.
    std::int64_t totalSamples = 0;
    // Target overlap of consecutive chunks.
    double overlapSeconds = 0;
    // Left context prepended to every chunk but the first when mel-spectrogram context is on.
    std::int64_t melContextSamples = 0;
    // Encoder frames of warm-up prefix for v3 without mel context.
    int noMelWarmupPrefixFrames = 0;

    ChunkLayout chunkLayout(bool melChunkContext, std::optional<AsrModelVersion> modelVersion) const;
    std::int64_t strideSamples(std::int64_t chunkSamples) const;
    std::vector<ChunkStartDecision> regularChunkStarts(std::int64_t strideSamples) const;
    // Throws what the sample source throws.
    std::vector<ChunkStartDecision> silenceAlignedChunkStarts(std::int64_t chunkSamples, std::int64_t strideSamples,
                                                              bool canUseWarmupPrefix) const;
};

} // namespace quorl
