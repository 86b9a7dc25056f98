#include "QuorlAudio/vad/VadState.hpp"

namespace quorl {

VadState VadState::initial() {
    return VadState{.hiddenState = std::vector<float>(stateSize, 0.0f),
                    .cellState = std::vector<float>(stateSize, 0.0f),
                    .context = std::vector<float>(contextLength, 0.0f)};
}

} // namespace quorl
