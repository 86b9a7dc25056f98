#include "QuorlAudio/diarization/chunked/ChunkGeometry.hpp"

#include "QuorlAudio/foundation/DiarizerError.hpp"

#include <algorithm>
#include <cmath>
#include <string>

namespace quorl {

ChunkGeometry ChunkGeometry::of(const DiarizerConfig& config, int rate) {
    if (rate != sampleRate) {
        throw DiarizerError::processingFailed("Chunked diarization needs 16000 Hz audio, not " + std::to_string(rate) +
                                              " Hz");
    }
    if (!std::isfinite(config.chunkDuration) || !std::isfinite(config.chunkOverlap)) {
        throw DiarizerError::processingFailed("Chunk duration and overlap must be finite");
    }
    const double chunkSeconds = std::round(static_cast<double>(config.chunkDuration));
    const double overlapSeconds = std::round(static_cast<double>(config.chunkOverlap));
    if (overlapSeconds < 0) {
        throw DiarizerError::processingFailed("Chunk overlap must not be negative");
    }
    if (chunkSeconds * rate > segmentationInputLength) {
        throw DiarizerError::processingFailed("Chunks of more than 10 s exceed the segmentation model's input");
    }
    if (overlapSeconds == chunkSeconds) {
        throw DiarizerError::processingFailed("Chunk overlap equals the chunk duration, so chunks never advance");
    }
    // Beyond a billion seconds either way the step is negative anyway; clamping keeps the sizes within an integer.
    constexpr double longest = 1e9;
    const auto chunkSize = static_cast<std::int64_t>(std::max(chunkSeconds, -longest)) * rate;
    const auto overlapSize = static_cast<std::int64_t>(std::min(overlapSeconds, longest)) * rate;
    return {.chunkSize = chunkSize, .chunkStep = chunkSize - overlapSize};
}

std::vector<std::size_t> ChunkGeometry::chunkStarts(std::size_t sampleCount) const {
    std::vector<std::size_t> starts;
    if (chunkStep <= 0) {
        return starts;
    }
    for (std::size_t start = 0; start < sampleCount; start += static_cast<std::size_t>(chunkStep)) {
        starts.push_back(start);
    }
    return starts;
}

} // namespace quorl
