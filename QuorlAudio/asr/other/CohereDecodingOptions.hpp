#pragma once

#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"

namespace quorl {

// What a Cohere decoding run is told; the toolkit sets no defaults, every caller chooses all four.
struct CohereDecodingOptions {
    CohereAsrConfig::Language language;
    // Tokens produced after the prompt: at most maxNewTokens + 1 and never more than the caches hold (99).
    // A negative limit produces nothing.
    int maxNewTokens;
    // 1 switches the penalty off.
    float repetitionPenalty;
    // 0 switches the rule off.
    int noRepeatNgram;
};

} // namespace quorl
