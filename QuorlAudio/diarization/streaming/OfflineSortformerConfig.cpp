#include "QuorlAudio/diarization/streaming/OfflineSortformerConfig.hpp"

namespace quorl {

float OfflineSortformerConfig::frameDurationSeconds() {
    return static_cast<float>(subsamplingFactor * melStride) / static_cast<float>(sampleRate);
}

OfflineSortformerConfig OfflineSortformerConfig::offlineV2_1() {
    return OfflineSortformerConfig{.precision = SortformerModelPrecision::fp16, .overlapOutputFrames = 100};
}

} // namespace quorl
