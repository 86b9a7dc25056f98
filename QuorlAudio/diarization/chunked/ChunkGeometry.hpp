#pragma once

#include "QuorlAudio/diarization/chunked/DiarizerConfig.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorl {

// How a recording is cut into chunks: the chunk length and the step between chunk starts, in samples, from the
// configuration's duration and overlap taken to whole seconds.
struct ChunkGeometry {
    // The only rate the segmentation model hears, and the most samples it hears per chunk.
    static constexpr int sampleRate = 16000;
    static constexpr std::int64_t segmentationInputLength = 160000;

    std::int64_t chunkSize = 0;
    // Not positive when the overlap exceeds the chunk: no chunk is cut then.
    std::int64_t chunkStep = 0;

    // Throws DiarizerError::processingFailed for a rate other than 16000 Hz, a duration or overlap that is not
    // finite, a negative overlap, chunks longer than the segmentation model's input, or a step of zero: each
    // would lose or mistime audio, skip it, or never advance.
    static ChunkGeometry of(const DiarizerConfig& config, int sampleRate);

    // The start of every chunk of a recording of `sampleCount` samples, in order.
    std::vector<std::size_t> chunkStarts(std::size_t sampleCount) const;
};

} // namespace quorl
