#pragma once

#include <array>

namespace quorl {

// The fixed constants of the Paraformer pipeline: its feature and embedding widths, the fixed lengths the
// compiled models take, the special token ids and the integrate-and-fire thresholds.
struct ParaformerConfig {
    // Width of one preprocessor feature frame.
    static constexpr int featureDim = 560;
    // Width of one encoder row and of one acoustic embedding.
    static constexpr int encoderDim = 512;
    // Fixed frame length of the decoder's encoder input.
    static constexpr int decoderEncFrames = 512;
    // Fixed token length of the decoder's embedding input: the most tokens one call can produce.
    static constexpr int decoderMaxTokens = 128;
    static constexpr int blankId = 0;
    static constexpr int sosId = 1;
    static constexpr int eosId = 2;
    static constexpr float cifThreshold = 1.0f;
    // Weight added after the last frame to flush a pending token.
    static constexpr float cifTailThreshold = 0.45f;
    static constexpr int sampleRate = 16000;
    // Float samples are scaled to the 16-bit range the preprocessor was trained on.
    static constexpr float waveformScale = 32768.0f;
    // The frame lengths the encoder accepts, ascending.
    static constexpr std::array<int, 5> encoderBuckets{128, 256, 512, 1024, 1800};

    // The first bucket that holds `frames`; the largest bucket when none does.
    static int pickEncoderBucket(int frames);
};

} // namespace quorl
