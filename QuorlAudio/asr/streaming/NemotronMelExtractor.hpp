#pragma once

#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <span>

namespace quorl {

// The log-mel front end of the cache-aware English models, returning a model-ready [1, nMels, frames] tensor.
// The front end's scratch memory is reused by every call, so one extractor computes one spectrogram at a time.
struct NemotronMelExtractor {
    std::shared_ptr<AudioMelSpectrogram> mel;
    int nMels;
    int hopLength;

    // 16 kHz, a 512-point DFT of 400-sample symmetric Hann windows every 160 samples, pre-emphasis 0.97,
    // Slaney mel bands from 0 to 8000 Hz, ln(power + 2^-24), frames not rounded up.
    static NemotronMelExtractor make(int nMels = 128);

    // Centre-padded frames of the samples, pre-emphasis starting afresh from a previous sample of 0: Float32,
    // band m of frame f at m x frames + f. No samples give one frame of zeros. Throws when the array cannot be
    // made.
    std::shared_ptr<platform::ml::MultiArray> melSpectrogram(std::span<const float> samples) const;
};

} // namespace quorl
