#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/InputDevice.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/SystemError.hpp"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mirvo::testing {

// A capture device that delivers the buffers a test hands it, in order, one at a time, on a capture thread
// of its own while it runs. Buffers handed over while it is stopped wait for the next start.
class ScriptedInputDevice : public platform::audio::InputDevice {
public:
    explicit ScriptedInputDevice(platform::audio::AudioFormat format);
    ~ScriptedInputDevice() override;
    ScriptedInputDevice(const ScriptedInputDevice&) = delete;
    ScriptedInputDevice& operator=(const ScriptedInputDevice&) = delete;

    platform::audio::AudioFormat format() const override;
    void start(std::uint32_t bufferFrames, Delivery deliver) override;
    void stop() override;

    // The next start throws the error and delivers nothing.
    void failNextStart(platform::core::SystemError error);
    void hand(std::vector<std::shared_ptr<platform::audio::PCMBuffer>> buffers);
    // The next start returns only once the buffers handed so far have been delivered, as a device whose first
    // buffers come before its start returns.
    void deliverHandedBuffersWithinNextStart();
    // Blocks until every buffer handed over has been delivered and its delivery has returned, or until the
    // device is stopped.
    void waitUntilDelivered();

    bool isRunning() const;
    // Successful starts so far.
    int startCount() const;
    // The buffer size the last start asked for.
    std::uint32_t bufferFrames() const;

private:
    void deliverUntilStopped(const Delivery& deliver);

    const platform::audio::AudioFormat format_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<platform::audio::PCMBuffer>> pending_;
    std::optional<platform::core::SystemError> startFailure_;
    bool running_ = false;
    bool deliverWithinStart_ = false;
    bool delivering_ = false;
    int startCount_ = 0;
    std::uint32_t bufferFrames_ = 0;
    std::thread captureThread_;
};

} // namespace mirvo::testing
