#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualEnergyGate.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualMelCache.hpp"
#include "QuorlAudio/asr/streaming/NemotronMelExtractor.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace quorl {

// The next chunk, encoded ahead: its encoder outputs, the caches after it and the mel frames it hands on.
struct NemotronMultilingualPrefetchedChunk {
    std::shared_ptr<platform::ml::MultiArray> encoded;
    // None when the encoder gives no projected output.
    std::shared_ptr<platform::ml::MultiArray> encoderProj;
    std::shared_ptr<platform::ml::MultiArray> cacheChannel;
    std::shared_ptr<platform::ml::MultiArray> cacheTime;
    std::shared_ptr<platform::ml::MultiArray> cacheLen;
    std::shared_ptr<platform::ml::MultiArray> newMelCache;
};

// Encodes the chunk after the current one while the current one is decoded, from the state that stands after
// the current chunk, so the encoder sees exactly what it would see if the next chunk were encoded in turn.
// Everything it reads is handed over at start; it uses its own mel front end, and the arrays it is given are
// not written while it runs.
struct NemotronMultilingualLookAhead {
    std::optional<std::span<const float>> nextChunkSamples;
    bool statefulEncoder;
    std::shared_ptr<platform::ml::MultiArray> cacheChannel;
    std::shared_ptr<platform::ml::MultiArray> cacheTime;
    std::shared_ptr<platform::ml::MultiArray> cacheLen;
    std::shared_ptr<platform::ml::MultiArray> melCache;
    std::int32_t promptId;
    const NemotronMelExtractor* melExtractor;
    NemotronMultilingualMelCache::Geometry geometry;
    std::shared_ptr<platform::ml::Model> encoder;
    NemotronMultilingualEnergyGate gate;

    // None when there is no next chunk, "QUORLAUDIO_DISABLE_TRIPLE_STAGE" is set (to anything), the encoder
    // is stateful, an input is missing, the gate would find the next chunk quiet, or the encoder leaves out
    // "encoded" or a cache output. The errors of the mel front end and the runtime propagate.
    std::optional<NemotronMultilingualPrefetchedChunk> prefetchNextChunk() const;

private:
    bool applies() const;
};

} // namespace quorl
