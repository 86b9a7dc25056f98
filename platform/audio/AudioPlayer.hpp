#pragma once

#include "platform/audio/AudioOutput.hpp"
#include "platform/audio/AudioPlayerDelegate.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::audio {

// Plays one sound file held in memory (a WAV file of 16-bit, 24-bit, 32-bit or float PCM) on an output. The sound
// keeps the file's interleaved frames and sample type (24-bit samples widened to Int32).
class AudioPlayer : public std::enable_shared_from_this<AudioPlayer> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    // Throws platform::core::SystemError (domain "AudioPlayer") when the data is not a sound file it can play.
    static std::shared_ptr<AudioPlayer> make(const std::vector<std::uint8_t>& data,
                                             AudioOutput& output = AudioOutput::system());

    AudioPlayer(Passkey, std::shared_ptr<const PCMBuffer> sound, AudioOutput& output);
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Held weakly; told of the end of playback.
    void setDelegate(std::weak_ptr<AudioPlayerDelegate> delegate);
    // 0 to 1; the output's gain on top of the samples. 1.0 at creation.
    void setVolume(float volume);
    float volume() const;

    // Starts playback without waiting for its end; false when the output cannot start it. The player keeps
    // itself alive until the delegate has been told of the end.
    bool play();
    bool isPlaying() const;

    const PCMBuffer& sound() const { return *sound_; }

private:
    void didFinish(bool successfully);

    std::shared_ptr<const PCMBuffer> sound_;
    AudioOutput& output_;
    std::atomic<float> volume_ = 1.0F;
    std::atomic<bool> playing_ = false;
    // The end of playback is reported on the output's thread.
    mutable std::mutex delegateMutex_;
    std::weak_ptr<AudioPlayerDelegate> delegate_;
};

} // namespace platform::audio
