#include "platform/audio/AudioOutput.hpp"

#include "platform/audio/AlsaAudioOutput.hpp"

namespace platform::audio {

AudioOutput& AudioOutput::system() {
    static AlsaAudioOutput output;
    return output;
}

} // namespace platform::audio
