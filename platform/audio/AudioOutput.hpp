#pragma once

#include "platform/audio/PCMBuffer.hpp"

#include <functional>
#include <memory>

namespace platform::audio {

// Where players sound: the machine's output device, or a recording sink in tests.
class AudioOutput {
public:
    // Called once when the sound has ended: played to the end (true) or cut short by a failure (false).
    using Completion = std::function<void(bool successfully)>;

    virtual ~AudioOutput() = default;

    // Starts sounding `buffer` at `volume` (0 to 1) without waiting for it to end; false when it cannot start,
    // in which case `completion` is never called.
    virtual bool start(std::shared_ptr<const PCMBuffer> buffer, float volume, Completion completion) = 0;

    // The machine's default output device, shared by the process.
    static AudioOutput& system();
};

} // namespace platform::audio
