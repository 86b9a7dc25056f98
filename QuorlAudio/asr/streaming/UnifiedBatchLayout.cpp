#include "QuorlAudio/asr/streaming/UnifiedBatchLayout.hpp"

#include <algorithm>

namespace quorl {

std::int64_t UnifiedBatchLayout::windowSamples() const {
    return config.frameSamples * ((15 * config.sampleRate) / config.frameSamples);
}

std::int64_t UnifiedBatchLayout::overlapSamples() const {
    return config.frameSamples * (std::min(windowSamples() / 2, 2 * config.sampleRate) / config.frameSamples);
}

std::int64_t UnifiedBatchLayout::strideSamples() const { return windowSamples() - overlapSamples(); }

std::vector<std::int64_t> UnifiedBatchLayout::chunkStarts(std::int64_t totalSamples) const {
    if (totalSamples < 1) {
        return {};
    }
    std::vector<std::int64_t> starts{0};
    const std::int64_t stride = strideSamples();
    for (std::int64_t start = stride; start < totalSamples && start + overlapSamples() < totalSamples;
         start += stride) {
        starts.push_back(start);
    }
    return starts;
}

} // namespace quorl
