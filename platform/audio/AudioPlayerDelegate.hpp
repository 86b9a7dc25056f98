#pragma once

namespace platform::audio {

class AudioPlayer;

// Told when a player's playback ends, on a thread of the output's choosing.
class AudioPlayerDelegate {
public:
    virtual ~AudioPlayerDelegate() = default;
    virtual void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) = 0;
};

} // namespace platform::audio
