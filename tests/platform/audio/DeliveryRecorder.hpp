#pragma once

#include "platform/audio/InputDevice.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace testsupport {

// Keeps what an input device or a tap is given: each buffer's samples, channel by channel, with its format and
// the thread it arrived on, so that a test can wait for buffers and compare them with what was played.
class DeliveryRecorder {
public:
    struct Delivery {
        platform::audio::AudioFormat format;
        std::vector<std::vector<float>> channels;
        std::thread::id thread;
    };

    // Runs after a buffer is recorded, on the delivering thread; a test uses it to hold or fail a delivery.
    std::function<void()> afterRecording;

    platform::audio::InputDevice::Delivery callback() {
        return [this](const platform::audio::PCMBuffer& buffer) { record(buffer); };
    }

    void record(const platform::audio::PCMBuffer& buffer) {
        std::vector<std::vector<float>> channels;
        for (std::uint32_t channel = 0; channel < buffer.format().channelCount(); ++channel) {
            const float* samples = buffer.floatChannelData()[channel];
            channels.emplace_back(samples, samples + buffer.frameLength());
        }
        {
            std::lock_guard lock(mutex_);
            deliveries_.push_back(Delivery{
                .format = buffer.format(), .channels = std::move(channels), .thread = std::this_thread::get_id()});
        }
        arrived_.notify_all();
        if (afterRecording) {
            afterRecording();
        }
    }

    // Waits until `count` buffers have arrived. The bound only keeps a broken device from hanging the test.
    [[nodiscard]] bool waitFor(std::size_t count) const {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::minutes(1), [&] { return deliveries_.size() >= count; });
    }

    std::vector<Delivery> deliveries() const {
        std::lock_guard lock(mutex_);
        return deliveries_;
    }

    std::vector<std::uint32_t> frameCounts() const {
        std::vector<std::uint32_t> counts;
        for (const auto& delivery : deliveries()) {
            counts.push_back(static_cast<std::uint32_t>(delivery.channels.at(0).size()));
        }
        return counts;
    }

    // One channel of every buffer, joined in the order they arrived.
    std::vector<float> joined(std::size_t channel) const {
        std::vector<float> samples;
        for (const auto& delivery : deliveries()) {
            samples.insert(samples.end(), delivery.channels.at(channel).begin(), delivery.channels.at(channel).end());
        }
        return samples;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Delivery> deliveries_;
};

} // namespace testsupport
