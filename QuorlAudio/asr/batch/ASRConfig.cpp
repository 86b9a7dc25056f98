#include "QuorlAudio/asr/batch/ASRConfig.hpp"

#include <algorithm>
#include <utility>

namespace quorl {

ASRConfig::ASRConfig(int sampleRate, TdtConfig tdtConfig, int encoderHiddenSize, int parallelChunkConcurrency,
                     bool streamingEnabled, int streamingThreshold, bool melChunkContext,
                     bool dualDecodeArbitration)
    : sampleRate(sampleRate),
      tdtConfig(std::move(tdtConfig)),
      encoderHiddenSize(encoderHiddenSize),
      parallelChunkConcurrency(std::max(parallelChunkConcurrency, 1)),
      streamingEnabled(streamingEnabled),
      streamingThreshold(streamingThreshold),
      melChunkContext(melChunkContext),
      dualDecodeArbitration(dualDecodeArbitration) {}

const ASRConfig& ASRConfig::defaultConfig() {
    static const ASRConfig preset;
    return preset;
}

} // namespace quorl
