#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/InputDevice.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform::audio {

// A capture device of ALSA (the "default" device unless another name is given), read from a thread of its own
// in 1 channel of Float32 at 48 kHz, which ALSA's plug layer converts to from whatever the hardware delivers.
class AlsaInputDevice final : public InputDevice {
public:
    explicit AlsaInputDevice(std::string deviceName = "default");
    ~AlsaInputDevice() override;

    // 1 channel, 48 kHz, Float32, non-interleaved.
    AudioFormat format() const override;
    // Fails with a core::SystemError of domain "ALSA", the (positive) error number as code and a description
    // naming the device, when the device cannot be opened or set up.
    void start(std::uint32_t bufferFrames, Delivery deliver) override;
    void stop() override;

private:
    // An open device and the thread reading it; destroying it stops the thread and closes the device.
    class Capture;

    const std::string deviceName_;
    // Serialises start and stop, so at most one capture exists.
    std::mutex mutex_;
    std::unique_ptr<Capture> capture_;
};

} // namespace platform::audio
