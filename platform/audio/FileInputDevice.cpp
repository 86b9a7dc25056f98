#include "platform/audio/FileInputDevice.hpp"

#include "platform/audio/AudioFile.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/sys/UnifiedLog.hpp"

#include <chrono>
#include <cmath>
#include <exception>
#include <string>
#include <utility>

namespace platform::audio {

namespace {

AudioFormat unreadableFileFormat() { return *AudioFormat::make(CommonFormat::float32, 48000, 1, false); }

std::chrono::nanoseconds playingTime(std::uint32_t frames, double sampleRate) {
    return std::chrono::nanoseconds(std::llround(static_cast<double>(frames) * 1e9 / sampleRate));
}

// Reads the file buffer by buffer and hands each on until the file ends or the token is cancelled. At real-time
// pace each buffer after the first waits for the previous one to have been heard.
void play(AudioFile& file, PCMBuffer& buffer, const InputDevice::Delivery& deliver, FileInputDevice::Pace pace,
          core::Sleeper& sleeper, const core::CancellationToken& token) {
    const double sampleRate = file.processingFormat().sampleRate();
    std::uint32_t previousFrames = 0;
    for (file.read(buffer); buffer.frameLength() > 0; file.read(buffer)) {
        if (pace == FileInputDevice::Pace::realTime && previousFrames > 0) {
            sleeper.sleep(playingTime(previousFrames, sampleRate), token);
        }
        // A sleeper may return early on cancellation without throwing; fast pace has no wait to notice it in.
        if (token.isCancelled()) {
            return;
        }
        deliver(buffer);
        previousFrames = buffer.frameLength();
    }
}

} // namespace

FileInputDevice::FileInputDevice(std::filesystem::path file, Pace pace, core::Sleeper& sleeper)
    : file_(std::move(file)), pace_(pace), sleeper_(sleeper) {}

FileInputDevice::~FileInputDevice() { stop(); }

AudioFormat FileInputDevice::format() const {
    std::lock_guard lock(formatMutex_);
    if (!format_) {
        try {
            format_ = AudioFile(file_).processingFormat();
        } catch (const core::SystemError&) {
            return unreadableFileFormat();
        }
    }
    return *format_;
}

void FileInputDevice::start(std::uint32_t bufferFrames, Delivery deliver) {
    std::lock_guard lock(playbackMutex_);
    stopPlaying();
    AudioFile file(file_);
    auto buffer = makeCaptureBuffer(file.processingFormat(), bufferFrames);
    {
        // The file may have appeared or changed since the format was last asked for.
        std::lock_guard formatLock(formatMutex_);
        format_ = file.processingFormat();
    }
    cancellation_ = core::CancellationSource();
    thread_ = std::thread([this, file = std::move(file), buffer = std::move(buffer), deliver = std::move(deliver),
                           token = cancellation_.token()]() mutable {
        try {
            play(file, *buffer, deliver, pace_, sleeper_, token);
        } catch (const core::CancellationError&) {
            // Stopped during a wait.
        } catch (const std::exception& error) {
            sys::systemLog(core::concatenated({"Audio input: playing ", file_.string(), " ended: ", error.what()}));
        }
    });
}

void FileInputDevice::stop() {
    std::lock_guard lock(playbackMutex_);
    stopPlaying();
}

void FileInputDevice::stopPlaying() {
    cancellation_.cancel();
    if (thread_.joinable()) {
        thread_.join();
    }
}

} // namespace platform::audio
