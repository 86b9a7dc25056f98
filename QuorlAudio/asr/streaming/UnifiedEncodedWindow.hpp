#pragma once

#include "QuorlAudio/asr/streaming/UnifiedMelExtractor.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <span>

namespace quorl {

// One window of audio through the unified encoder: its frames and how many of them hold real audio.
struct UnifiedEncodedWindow {
    // Float32 [1, hidden, frames, ...], to be read through its strides.
    std::shared_ptr<platform::ml::MultiArray> encoded;
    std::int64_t validFrames = 0;

    // Zero-pads `audio` to the extractor's window (a longer one is cut to it), computes its normalised features and
    // runs the encoder. Throws ASRError::processingFailed when the encoder answers without "encoder" or
    // "encoder_length", and the runtime's errors.
    static UnifiedEncodedWindow encode(platform::ml::Model& encoder, const UnifiedMelExtractor& melExtractor,
                                       std::span<const float> audio);
};

} // namespace quorl
