#pragma once

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"

#include <filesystem>
#include <optional>

namespace quorl {

// Which PocketTTS models a store fetches and loads: the language pack, the build of the flow-LM step model,
// the processor units the models run on, and the cache base they are kept under.
struct PocketTtsModelSelection {
    PocketTtsLanguage language{};
    // None: the synthesis cache root.
    std::optional<std::filesystem::path> directory{};
    // Chooses the step model of the graphics-processor placement only.
    PocketTtsPrecision precision{};
    PocketTtsModelPlacement placement{};
};

} // namespace quorl
