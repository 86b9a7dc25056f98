#include "QuorlAudio/asr/batch/TdtDecoderV2.hpp"

namespace quorl {

namespace {

constexpr int v2BlankId = 1024;

ASRConfig withV2BlankId(const ASRConfig& config) {
    if (config.tdtConfig.blankId == v2BlankId) {
        return config;
    }
    TdtConfig tdtConfig = config.tdtConfig;
    tdtConfig.blankId = v2BlankId;
    return ASRConfig(config.sampleRate, tdtConfig, config.encoderHiddenSize, config.parallelChunkConcurrency,
                     config.streamingEnabled, config.streamingThreshold, config.melChunkContext,
                     config.dualDecodeArbitration);
}

} // namespace

TdtDecoderV2::TdtDecoderV2(const ASRConfig& config) : config(withV2BlankId(config)) {}

} // namespace quorl
