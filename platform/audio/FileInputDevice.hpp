#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/InputDevice.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Sleeper.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace platform::audio {

// A microphone stand-in for tests and demos: plays a sound file once, from its start at each start, as
// captured audio in the file's processing format (Float32, non-interleaved, the file's rate and channels).
// After the last frame nothing more is delivered.
class FileInputDevice final : public InputDevice {
public:
    enum class Pace {
        // Each buffer is delivered when its audio would have been heard, as a microphone delivers it.
        realTime,
        // Buffers follow each other without waiting.
        asFastAsPossible,
    };

    // The real-time waits go through `sleeper`, which must outlive the device.
    FileInputDevice(std::filesystem::path file, Pace pace, core::Sleeper& sleeper = core::Sleeper::system());
    ~FileInputDevice() override;

    // The file's processing format; 1 channel at 48 kHz for a file that cannot be read.
    AudioFormat format() const override;
    // Fails with the file's opening error (core::SystemError).
    void start(std::uint32_t bufferFrames, Delivery deliver) override;
    void stop() override;

private:
    // Cancels the running playback, if any, and waits for its thread to end.
    void stopPlaying();

    const std::filesystem::path file_;
    const Pace pace_;
    core::Sleeper& sleeper_;
    // The file's format once its header has been read; until then format() tries again at each call.
    mutable std::mutex formatMutex_;
    mutable std::optional<AudioFormat> format_;
    // Serialises start and stop, so at most one playback thread exists.
    std::mutex playbackMutex_;
    core::CancellationSource cancellation_;
    std::thread thread_;
};

} // namespace platform::audio
