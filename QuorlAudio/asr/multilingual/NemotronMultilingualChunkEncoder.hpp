#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualModels.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStatistics.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamState.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <span>

namespace quorl {

// A chunk's encoder output [1, D, frames] and, when the encoder gives it, the projected output [1, frames, P].
struct NemotronMultilingualEncoding {
    std::shared_ptr<platform::ml::MultiArray> encoded;
    std::shared_ptr<platform::ml::MultiArray> encoderProj;
    // Made by an encoder whose state object advanced in place: the stream cannot go back to before it.
    bool advancedEncoderState = false;
};

// Encodes one chunk with the cache-aware encoder: the chunk's log-mel frames behind the mel frames kept from
// the previous chunk, the language prompt, and the encoder caches (or the state object of a stateful
// encoder). The caches are replaced by the encoder's new ones as they arrive, then the mel cache by the
// chunk's last frames.
struct NemotronMultilingualChunkEncoder {
    const NemotronMultilingualModels& models;
    const NemotronMultilingualStreamingConfig& config;
    const NemotronMelExtractor& melExtractor;
    std::int32_t promptId;

    // Throws ASRError::processingFailed ("Encoder failed to produce output") without "encoded", and the
    // errors of the mel front end and the runtime unchanged.
    NemotronMultilingualEncoding encode(std::span<const float> samples, NemotronMultilingualStreamState& state,
                                        NemotronMultilingualStatistics& statistics) const;

private:
    void takeCaches(const platform::ml::FeatureProvider& outputs, bool stateful,
                    NemotronMultilingualStreamState& state) const;
};

} // namespace quorl
