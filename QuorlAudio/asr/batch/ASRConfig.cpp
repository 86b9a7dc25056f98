#include "QuorlAudio/asr/batch/ASRConfig.hpp"

#include <algorithm>

namespace quorl {

const ASRConfig& ASRConfig::defaultConfig() {
    static const ASRConfig preset;
    return preset;
}

ASRConfig ASRConfig::validated() const {
    ASRConfig config = *this;
    config.parallelChunkConcurrency = std::max(parallelChunkConcurrency, 1);
    return config;
}

} // namespace quorl
