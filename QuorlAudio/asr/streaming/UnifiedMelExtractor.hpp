#pragma once

#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <span>

namespace quorl {

// The unified encoder's front end for windows of one fixed length: log-mel features normalised per mel bin
// over the window's real audio only. Its scratch memory is reused, so one extractor serves one engine.
struct UnifiedMelExtractor {
    // The encoder's "mel" [1, nMels, totalFrames] and "mel_length" [1] inputs.
    struct Features {
        std::shared_ptr<platform::ml::MultiArray> mel;
        std::shared_ptr<platform::ml::MultiArray> length;
    };

    std::shared_ptr<AudioMelSpectrogram> mel;
    std::int64_t nMels;
    std::int64_t hopLength;
    std::int64_t windowSamples;
    std::int64_t totalFrames;

    // 16 kHz, a 512-point DFT of 400-sample symmetric Hann windows every 160 samples, pre-emphasis 0.97,
    // ln(power + 2^-24), whatever rate the configuration names.
    static UnifiedMelExtractor make(const UnifiedConfig& config, std::int64_t windowSamples);

    // window holds windowSamples samples, the first validCount of them real audio and zeros after.
    Features features(std::span<const float> window, std::int64_t validCount) const;
};

} // namespace quorl
