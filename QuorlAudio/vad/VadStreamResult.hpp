#pragma once

#include "QuorlAudio/vad/VadStreamEvent.hpp"
#include "QuorlAudio/vad/VadStreamState.hpp"

#include <optional>

namespace quorl {

// One streamed block: the state for the next block, the event the block caused and its speech probability.
struct VadStreamResult {
    VadStreamState state;
    std::optional<VadStreamEvent> event;
    float probability = 0.0f;
};

} // namespace quorl
