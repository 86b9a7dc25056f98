#pragma once

namespace quorl {

// The live inputs the streaming recognisers name.
enum class AudioSource { microphone, system };

} // namespace quorl
