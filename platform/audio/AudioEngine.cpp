#include "platform/audio/AudioEngine.hpp"

#include <stdexcept>
#include <utility>

namespace platform::audio {

namespace {

void checkBus(int bus) {
    if (bus != 0) {
        throw std::out_of_range("the input node has only bus 0");
    }
}

} // namespace

AudioInputNode::AudioInputNode(std::shared_ptr<InputDevice> device) : device_(std::move(device)) {}

AudioFormat AudioInputNode::outputFormat(int bus) const {
    checkBus(bus);
    return device_->format();
}

void AudioInputNode::installTap(int bus, std::uint32_t bufferSize, const std::optional<AudioFormat>& format,
                                TapBlock block) {
    checkBus(bus);
    if (format && *format != device_->format()) {
        throw std::invalid_argument("a tap on the input node must take the node's output format");
    }
    std::lock_guard lock(tapMutex_);
    if (tap_) {
        throw std::invalid_argument("bus 0 of the input node already has a tap");
    }
    tap_ = std::move(block);
    bufferSize_ = bufferSize;
}

void AudioInputNode::removeTap(int bus) {
    checkBus(bus);
    std::lock_guard lock(tapMutex_);
    tap_ = nullptr;
    bufferSize_ = 0;
}

void AudioInputNode::deliver(const PCMBuffer& buffer) {
    std::lock_guard lock(tapMutex_);
    if (tap_) {
        tap_(buffer);
    }
}

std::uint32_t AudioInputNode::tapBufferSize() const {
    std::lock_guard lock(tapMutex_);
    return bufferSize_;
}

AudioEngine::AudioEngine(std::shared_ptr<InputDevice> device) : inputNode_(std::move(device)) {}

AudioEngine::~AudioEngine() { stop(); }

void AudioEngine::start() {
    std::lock_guard lock(mutex_);
    const std::uint32_t tapSize = inputNode_.tapBufferSize();
    // A restart stops the device first, so that when the new start fails the engine is truly stopped.
    if (running_) {
        inputNode_.device_->stop();
        running_ = false;
    }
    inputNode_.device_->start(tapSize > 0 ? tapSize : defaultBufferFrames,
                              [this](const PCMBuffer& buffer) { inputNode_.deliver(buffer); });
    running_ = true;
}

void AudioEngine::stop() {
    std::lock_guard lock(mutex_);
    if (running_) {
        inputNode_.device_->stop();
        running_ = false;
    }
}

bool AudioEngine::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

} // namespace platform::audio
