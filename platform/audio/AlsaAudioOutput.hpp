#pragma once

#include "platform/audio/AudioOutput.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::audio {

// The machine's default ALSA device. Each sound opens its own stream (the default device mixes them where the
// system allows) and is written from a thread of its own, which also calls the completion.
class AlsaAudioOutput final : public AudioOutput {
public:
    AlsaAudioOutput() = default;
    // Waits for the sounds still playing.
    ~AlsaAudioOutput() override;
    AlsaAudioOutput(const AlsaAudioOutput&) = delete;
    AlsaAudioOutput& operator=(const AlsaAudioOutput&) = delete;

    // False, with a log line saying why, when the device cannot be opened for the sound's format.
    bool start(std::shared_ptr<const PCMBuffer> buffer, float volume, Completion completion) override;

private:
    struct Playback {
        std::thread thread;
        std::atomic<bool> done = false;
    };

    // Joins the threads of sounds that have ended.
    void reapFinished();

    std::mutex mutex_;
    std::vector<std::unique_ptr<Playback>> playbacks_;
};

} // namespace platform::audio
