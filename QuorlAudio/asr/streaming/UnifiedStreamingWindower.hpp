#pragma once

#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"

#include <cstdint>
#include <optional>

namespace quorl {

// Plans the streaming engine's windows over a growing audio buffer: which stretch of audio the next encoder
// call sees, and how many of its trailing frames are look-ahead that the next window decodes.
struct UnifiedStreamingWindower {
    struct Plan {
        std::int64_t startSample = 0;
        std::int64_t endSample = 0;
        std::int64_t startFrame = 0;
        std::int64_t heldBackFrames = 0;

        bool operator==(const Plan&) const = default;
    };

    UnifiedConfig config;
    // End of the last planned window, as a global sample index.
    std::int64_t consumedSamples = 0;
    // Global encoder frame up to which tokens were decoded; the engine advances it, the windower never does.
    std::int64_t decodedFrames = 0;
    bool finalFlushEmitted = false;

    // totalSamples counts every sample received so far; isFinal says no more will come.
    std::optional<Plan> nextWindow(std::int64_t totalSamples, bool isFinal);
};

} // namespace quorl
