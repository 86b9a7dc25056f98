#include "platform/audio/InputDevice.hpp"

#include "platform/audio/AlsaInputDevice.hpp"
#include "platform/audio/FileInputDevice.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/sys/Environment.hpp"

#include <cerrno>
#include <stdexcept>
#include <string>

namespace platform::audio {

std::shared_ptr<PCMBuffer> InputDevice::makeCaptureBuffer(const AudioFormat& format, std::uint32_t frames) {
    if (frames == 0) {
        throw std::invalid_argument("an input device delivers buffers of at least one frame");
    }
    auto buffer = PCMBuffer::make(format, frames);
    if (!buffer) {
        throw core::SystemError::fromErrno(
            ENOMEM, core::concatenated({"Cannot make a capture buffer of ", std::to_string(frames), " frames"}));
    }
    return buffer;
}

std::shared_ptr<InputDevice> defaultInputDevice() {
    if (const auto file = sys::nonEmptyEnvironmentValue("MIRVO_AUDIO_INPUT_FILE")) {
        const auto pace = sys::environmentValue("MIRVO_AUDIO_INPUT_PACE") == "fast"
                              ? FileInputDevice::Pace::asFastAsPossible
                              : FileInputDevice::Pace::realTime;
        return std::make_shared<FileInputDevice>(*file, pace);
    }
    return std::make_shared<AlsaInputDevice>("default");
}

} // namespace platform::audio
