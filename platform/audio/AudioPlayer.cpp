#include "platform/audio/AudioPlayer.hpp"

#include "platform/audio/WavDecoding.hpp"

#include <algorithm>
#include <cmath>

namespace platform::audio {

std::shared_ptr<AudioPlayer> AudioPlayer::make(const std::vector<std::uint8_t>& data, AudioOutput& output) {
    return std::make_shared<AudioPlayer>(Passkey(), WavDecoding::decode(data), output);
}

AudioPlayer::AudioPlayer(Passkey, std::shared_ptr<const PCMBuffer> sound, AudioOutput& output)
    : sound_(std::move(sound)), output_(output) {}

void AudioPlayer::setDelegate(std::weak_ptr<AudioPlayerDelegate> delegate) {
    std::lock_guard lock(delegateMutex_);
    delegate_ = std::move(delegate);
}

void AudioPlayer::setVolume(float volume) { volume_ = std::isnan(volume) ? 0.0F : std::clamp(volume, 0.0F, 1.0F); }

float AudioPlayer::volume() const { return volume_; }

bool AudioPlayer::play() {
    if (playing_.exchange(true)) {
        return true;
    }
    // The completion holds the player until the end is reported, then lets go even if the output keeps it.
    auto completion = [self = shared_from_this()](bool successfully) mutable {
        if (auto player = std::move(self)) {
            player->didFinish(successfully);
        }
    };
    if (!output_.start(sound_, volume_, std::move(completion))) {
        playing_ = false;
        return false;
    }
    return true;
}

bool AudioPlayer::isPlaying() const { return playing_; }

void AudioPlayer::didFinish(bool successfully) {
    playing_ = false;
    std::shared_ptr<AudioPlayerDelegate> delegate;
    {
        std::lock_guard lock(delegateMutex_);
        delegate = delegate_.lock();
    }
    if (delegate) {
        delegate->audioPlayerDidFinishPlaying(*this, successfully);
    }
}

} // namespace platform::audio
