#include "QuorlAudio/vad/VadStreamState.hpp"

namespace quorl {

VadStreamState VadStreamState::initial() { return VadStreamState{}; }

} // namespace quorl
