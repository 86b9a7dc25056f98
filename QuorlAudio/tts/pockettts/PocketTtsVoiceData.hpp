#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCacheSnapshot.hpp"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorl {

// A voice to speak with: a cloned voice's prompt frames, or a shipped voice's cache snapshot.
struct PocketTtsVoiceData {
    // `promptLength` frames of 1024 floats for a cloned voice; empty for a shipped one.
    std::vector<float> audioPrompt;
    std::int64_t promptLength = 0;
    // Present for a shipped voice only.
    std::optional<PocketTtsVoiceCacheSnapshot> cacheSnapshot;
};

} // namespace quorl
