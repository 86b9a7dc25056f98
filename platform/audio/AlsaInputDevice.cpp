#include "platform/audio/AlsaInputDevice.hpp"

#include "platform/audio/AlsaPcm.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/sys/UnifiedLog.hpp"

#include <atomic>
#include <cerrno>
#include <exception>
#include <string_view>
#include <thread>
#include <utility>

namespace platform::audio {

namespace {

constexpr unsigned int sampleRate = 48000;
constexpr unsigned int latencyMicroseconds = 100'000;
// The longest a read waits for audio before looking again whether capture is to stop, which bounds stop().
constexpr int pollMilliseconds = 50;

core::SystemError alsaError(int status, std::string_view failure, const std::string& deviceName) {
    return core::SystemError(
        "ALSA", -status, core::concatenated({failure, " audio input \"", deviceName, "\": ", snd_strerror(status)}));
}

// Opened without blocking, so that a busy device fails at once and a read never waits longer than a poll.
PcmHandle openCapture(const std::string& deviceName) {
    PcmHandle pcm;
    const int opened = openPcm(pcm, deviceName, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (opened < 0) {
        throw alsaError(opened, "Cannot open", deviceName);
    }
    // The plug layer converts whatever the hardware delivers into native-endian floats, one channel, 48 kHz.
    const int configured = snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_FLOAT, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                                              sampleRate, 1, latencyMicroseconds);
    if (configured < 0) {
        throw alsaError(configured, "Cannot set up", deviceName);
    }
    return pcm;
}

} // namespace

class AlsaInputDevice::Capture {
public:
    Capture(PcmHandle pcm, std::shared_ptr<PCMBuffer> buffer, Delivery deliver, const std::string& deviceName)
        : pcm_(std::move(pcm)), buffer_(std::move(buffer)), deliver_(std::move(deliver)), deviceName_(deviceName),
          thread_([this] { run(); }) {}

    ~Capture() {
        stopping_ = true;
        thread_.join();
    }

    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

private:
    void run() {
        try {
            while (fill()) {
                deliver_(*buffer_);
            }
        } catch (const std::exception& error) {
            sys::systemLog(
                core::concatenated({"Audio input: capture from \"", deviceName_, "\" ended: ", error.what()}));
        }
    }

    // Reads until the buffer is full, recovering from overruns; false once capture is to stop. A mono buffer's
    // one channel has the layout of interleaved frames, so ALSA reads straight into it.
    bool fill() {
        float* const samples = buffer_->floatChannelData()[0];
        const std::uint32_t frames = buffer_->frameCapacity();
        std::uint32_t filled = 0;
        while (filled < frames) {
            if (stopping_) {
                return false;
            }
            const snd_pcm_sframes_t read = snd_pcm_readi(pcm_.get(), samples + filled, frames - filled);
            if (read > 0) {
                filled += static_cast<std::uint32_t>(read);
                continue;
            }
            const int status =
                read == 0 || read == -EAGAIN ? snd_pcm_wait(pcm_.get(), pollMilliseconds) : static_cast<int>(read);
            if (status < 0 && snd_pcm_recover(pcm_.get(), status, 1) < 0) {
                throw alsaError(status, "Cannot read from", deviceName_);
            }
        }
        buffer_->setFrameLength(frames);
        return true;
    }

    const PcmHandle pcm_;
    const std::shared_ptr<PCMBuffer> buffer_;
    const Delivery deliver_;
    const std::string deviceName_;
    std::atomic<bool> stopping_ = false;
    // Last, so the thread starts once everything it touches exists.
    std::thread thread_;
};

AlsaInputDevice::AlsaInputDevice(std::string deviceName) : deviceName_(std::move(deviceName)) {}

AlsaInputDevice::~AlsaInputDevice() { stop(); }

AudioFormat AlsaInputDevice::format() const { return *AudioFormat::make(CommonFormat::float32, sampleRate, 1, false); }

void AlsaInputDevice::start(std::uint32_t bufferFrames, Delivery deliver) {
    std::lock_guard lock(mutex_);
    capture_.reset();
    auto buffer = makeCaptureBuffer(format(), bufferFrames);
    capture_ = std::make_unique<Capture>(openCapture(deviceName_), std::move(buffer), std::move(deliver), deviceName_);
}

void AlsaInputDevice::stop() {
    std::lock_guard lock(mutex_);
    capture_.reset();
}

} // namespace platform::audio
