#pragma once

#include <array>
#include <cstdint>

namespace quorl {

// The fixed constants of the SenseVoice pipeline: input rate and scale, the feature width, the frame lengths the
// encoder accepts and the prompt ids the recogniser passes by default.
struct SenseVoiceConfig {
    static constexpr int sampleRate = 16000;
    // Float samples are scaled to the 16-bit range the preprocessor was trained on.
    static constexpr float waveformScale = 32768.0f;
    // Width of one preprocessor feature frame.
    static constexpr int featureDim = 560;
    // The frame lengths the encoder accepts, ascending.
    static constexpr std::array<int, 5> buckets{128, 256, 512, 1024, 1800};
    // Most feature frames one encoder call takes.
    static constexpr int maxFrames = 1800;
    // Output frames the encoder emits for its prompt ahead of the audio frames.
    static constexpr int numQueryTokens = 4;
    static constexpr int blankId = 0;
    static constexpr std::int32_t defaultLanguage = 0;
    static constexpr std::int32_t defaultTextNorm = 15;

    // The first bucket that holds `frames`; the largest bucket when none does.
    static int pickBucket(int frames);
};

} // namespace quorl
