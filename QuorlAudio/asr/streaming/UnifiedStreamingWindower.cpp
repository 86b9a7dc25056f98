#include "QuorlAudio/asr/streaming/UnifiedStreamingWindower.hpp"

#include <algorithm>

namespace quorl {
namespace {

std::int64_t roundUpToMultiple(std::int64_t value, std::int64_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

} // namespace

std::optional<UnifiedStreamingWindower::Plan> UnifiedStreamingWindower::nextWindow(std::int64_t totalSamples,
                                                                                   bool isFinal) {
    if (finalFlushEmitted) {
        return std::nullopt;
    }
    const std::int64_t fs = config.frameSamples;
    // The first window also needs its look-ahead; later ones reuse the previous window's.
    const std::int64_t need = config.chunkSamples() + (consumedSamples == 0 ? config.rightSamples() : 0);
    std::int64_t target = consumedSamples + need;
    if (totalSamples < target) {
        if (!isFinal || consumedSamples > totalSamples || (consumedSamples == totalSamples && totalSamples <= 0)) {
            return std::nullopt;
        }
        // A final window with no new audio still decodes the frames held back so far.
        target = totalSamples;
    }
    const bool last = isFinal && target >= totalSamples;
    finalFlushEmitted = last;
    const std::int64_t start = roundUpToMultiple(std::max<std::int64_t>(target - config.windowSamples(), 0), fs);
    consumedSamples = target;
    return Plan{
        .startSample = start,
        .endSample = target,
        .startFrame = start / fs,
        .heldBackFrames = last ? 0 : config.rightFrames,
    };
}

} // namespace quorl
