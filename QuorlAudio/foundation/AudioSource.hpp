#pragma once

#include <string_view>

namespace quorl {

// The live inputs the streaming recognisers name.
enum class AudioSource { microphone, system };

// The case name, as messages and log lines write the source: "microphone" or "system".
constexpr std::string_view description(AudioSource source) {
    switch (source) {
    case AudioSource::microphone: return "microphone";
    case AudioSource::system: return "system";
    }
    return "microphone";
}

} // namespace quorl
