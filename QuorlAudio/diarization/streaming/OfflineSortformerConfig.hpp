#pragma once

#include "QuorlAudio/diarization/streaming/config/SortformerModelPrecision.hpp"

namespace quorl {

// The offline Sortformer model's set-up: which bundle, the fixed geometry of its window of mel frames, and how
// many output frames consecutive windows of one recording share.
struct OfflineSortformerConfig {
    SortformerModelPrecision precision = SortformerModelPrecision::fp16;
    // Output frames per model window.
    static constexpr int windowOutputFrames = 384;
    // Mel frames per output frame.
    static constexpr int subsamplingFactor = 8;
    // Speaker slots of the model output.
    static constexpr int numSpeakers = 4;
    static constexpr int melFeatures = 128;
    static constexpr int sampleRate = 16000;
    // Mel analysis window and hop, in samples.
    static constexpr int melWindow = 400;
    static constexpr int melStride = 160;
    // Output frames shared by consecutive windows; the diarizer limits it to 0 ... windowOutputFrames - 1.
    int overlapOutputFrames = 100;

    // Seconds per output frame, in single precision: 0.08.
    static float frameDurationSeconds();
    // Mel frames of one model window: 3072.
    static constexpr int windowMelFrames() { return windowOutputFrames * subsamplingFactor; }

    // The published model: fp16 with an overlap of 100 output frames.
    static OfflineSortformerConfig offlineV2_1();
};

} // namespace quorl
