#pragma once

#include "QuorlAudio/asr/batch/ASRConfig.hpp"

namespace quorl {

// The decoder configuration of the model versions whose blank token is 1024.
struct TdtDecoderV2 {
    // Keeps a configuration whose blank id is 1024; otherwise rebuilds it with blank id 1024.
    explicit TdtDecoderV2(const ASRConfig& config);

    ASRConfig config;
};

} // namespace quorl
