#include "QuorlAudio/asr/batch/TdtDecoderV2.hpp"

namespace quorl {

namespace {

constexpr int v2BlankId = 1024;

ASRConfig withV2BlankId(const ASRConfig& config) {
    if (config.tdtConfig.blankId == v2BlankId) {
        return config;
    }
    ASRConfig rebuilt = config;
    rebuilt.tdtConfig.blankId = v2BlankId;
    return rebuilt.validated();
}

} // namespace

TdtDecoderV2::TdtDecoderV2(const ASRConfig& config) : config(withV2BlankId(config)) {}

} // namespace quorl
