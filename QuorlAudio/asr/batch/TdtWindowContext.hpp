#pragma once

#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/foundation/Language.hpp"

#include <optional>

namespace quorl {

// Where a window sits in its stream and what its decoding continues from and keeps: the decoder state it
// reads and leaves updated, the frames already decoded before it, whether it ends the stream, its first
// global encoder frame, the language hint, the global frame before which tokens are decoded but not
// recorded, and a start frame that replaces the one the state implies.
struct TdtWindowContext {
    TdtDecoderState& decoderState;
    int contextFrameAdjustment;
    bool isLastChunk;
    int globalFrameOffset;
    std::optional<Language> language = std::nullopt;
    std::optional<int> emitTokensAfterGlobalFrame = std::nullopt;
    std::optional<int> initialTimeIndexOverride = std::nullopt;
};

} // namespace quorl
