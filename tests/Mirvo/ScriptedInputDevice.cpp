#include "ScriptedInputDevice.hpp"

#include <utility>

namespace mirvo::testing {

ScriptedInputDevice::ScriptedInputDevice(platform::audio::AudioFormat format) : format_(std::move(format)) {}

ScriptedInputDevice::~ScriptedInputDevice() { stop(); }

platform::audio::AudioFormat ScriptedInputDevice::format() const { return format_; }

void ScriptedInputDevice::start(std::uint32_t bufferFrames, Delivery deliver) {
    stop();
    std::unique_lock lock(mutex_);
    if (startFailure_) {
        const auto failure = *std::exchange(startFailure_, std::nullopt);
        throw failure;
    }
    running_ = true;
    ++startCount_;
    bufferFrames_ = bufferFrames;
    captureThread_ = std::thread([this, deliver = std::move(deliver)] { deliverUntilStopped(deliver); });
    if (std::exchange(deliverWithinStart_, false)) {
        changed_.wait(lock, [this] { return pending_.empty() && !delivering_; });
    }
}

void ScriptedInputDevice::stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    changed_.notify_all();
    if (captureThread_.joinable()) {
        captureThread_.join();
    }
}

void ScriptedInputDevice::failNextStart(platform::core::SystemError error) {
    std::lock_guard lock(mutex_);
    startFailure_ = std::move(error);
}

void ScriptedInputDevice::hand(std::vector<std::shared_ptr<platform::audio::PCMBuffer>> buffers) {
    {
        std::lock_guard lock(mutex_);
        pending_.insert(pending_.end(), buffers.begin(), buffers.end());
    }
    changed_.notify_all();
}

void ScriptedInputDevice::deliverHandedBuffersWithinNextStart() {
    std::lock_guard lock(mutex_);
    deliverWithinStart_ = true;
}

void ScriptedInputDevice::waitUntilDelivered() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !running_ || (pending_.empty() && !delivering_); });
}

bool ScriptedInputDevice::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

int ScriptedInputDevice::startCount() const {
    std::lock_guard lock(mutex_);
    return startCount_;
}

std::uint32_t ScriptedInputDevice::bufferFrames() const {
    std::lock_guard lock(mutex_);
    return bufferFrames_;
}

void ScriptedInputDevice::deliverUntilStopped(const Delivery& deliver) {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !running_ || !pending_.empty(); });
        if (!running_) {
            return;
        }
        const auto buffer = std::move(pending_.front());
        pending_.pop_front();
        delivering_ = true;
        lock.unlock();
        deliver(*buffer);
        lock.lock();
        delivering_ = false;
        changed_.notify_all();
    }
}

} // namespace mirvo::testing
