#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <functional>
#include <memory>

namespace platform::audio {

// Where captured audio comes from: the machine's microphone, or a stand-in that plays a file.
class InputDevice {
public:
    // Receives each captured buffer on the device's capture thread; the buffer is lent for the call only.
    using Delivery = std::function<void(const PCMBuffer& buffer)>;

    virtual ~InputDevice() = default;

    // The format the device delivers in, known before it starts. A device that cannot be opened still names
    // one; it fails when started.
    virtual AudioFormat format() const = 0;

    // Starts capturing: buffers of `bufferFrames` frames (the last one of a finite source may be shorter) go to
    // `deliver` one at a time, in order, on a thread of the device's own. Throws core::SystemError when the
    // device cannot start; nothing is delivered then. Starting a running device restarts it.
    virtual void start(std::uint32_t bufferFrames, Delivery deliver) = 0;

    // Stops capturing. Once it returns no delivery runs or will run. Harmless when not running; never called
    // from a delivery.
    virtual void stop() = 0;

protected:
    // The buffer a device captures into. Throws std::invalid_argument for 0 frames, a buffer no capture can
    // fill, and core::SystemError when the memory cannot be had.
    static std::shared_ptr<PCMBuffer> makeCaptureBuffer(const AudioFormat& format, std::uint32_t frames);
};

// The input the host captures from: a file-backed device when "MIRVO_AUDIO_INPUT_FILE" names a sound file
// (played at the pace "MIRVO_AUDIO_INPUT_PACE" gives: "realtime", the default, or "fast"), else the default
// ALSA capture device. The environment is read at each call.
std::shared_ptr<InputDevice> defaultInputDevice();

} // namespace platform::audio
