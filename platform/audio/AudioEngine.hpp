#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/InputDevice.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace platform::audio {

// The capture side of an audio engine: the input node's output is the device's audio, and one tap on bus 0
// receives it buffer by buffer.
class AudioInputNode {
public:
    // Called on the capture thread with each buffer, which is lent for the call only.
    using TapBlock = std::function<void(const PCMBuffer& buffer)>;

    explicit AudioInputNode(std::shared_ptr<InputDevice> device);

    // The device's format. Only bus 0 exists (std::out_of_range otherwise).
    AudioFormat outputFormat(int bus) const;

    // Installs the tap of bus 0, delivering buffers of `bufferSize` frames once the engine starts. The format
    // must be the output format, or absent for it (std::invalid_argument otherwise); a second tap on the bus is
    // refused the same way.
    void installTap(int bus, std::uint32_t bufferSize, const std::optional<AudioFormat>& format, TapBlock block);
    // Removes the tap; once it returns the block is not running and never runs again. Harmless without a tap;
    // never called from the block itself.
    void removeTap(int bus);

private:
    friend class AudioEngine;

    // Runs the tap, if there is one, with the buffer.
    void deliver(const PCMBuffer& buffer);
    std::uint32_t tapBufferSize() const;

    std::shared_ptr<InputDevice> device_;
    // Held while the block runs, so removing the tap waits for a running block.
    mutable std::mutex tapMutex_;
    TapBlock tap_;
    std::uint32_t bufferSize_ = 0;
};

// An audio engine with an input node fed by an input device.
class AudioEngine {
public:
    // Buffers the device delivers when the tap asks for no size.
    static constexpr std::uint32_t defaultBufferFrames = 1024;

    explicit AudioEngine(std::shared_ptr<InputDevice> device = defaultInputDevice());
    // Stops the device.
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    AudioInputNode& inputNode() { return inputNode_; }

    // Starts the device feeding the input node. Throws the device's core::SystemError.
    void start();
    // Stops the device; once it returns no tap block runs.
    void stop();
    bool isRunning() const;

private:
    AudioInputNode inputNode_;
    mutable std::mutex mutex_;
    bool running_ = false;
};

} // namespace platform::audio
