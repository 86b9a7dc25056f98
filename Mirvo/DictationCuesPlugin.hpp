#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/audio/AudioOutput.hpp"
#include "platform/audio/AudioPlayer.hpp"
#include "platform/audio/AudioPlayerDelegate.hpp"
#include "platform/ui/BinaryMessenger.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {

// Plays the short sounds that mark the start and the end of a dictation, synthesised afresh for every cue.
class DictationCuesPlugin : public ChannelPlugin, public platform::audio::AudioPlayerDelegate {
public:
    explicit DictationCuesPlugin(platform::ui::BinaryMessenger& messenger,
                                 platform::audio::AudioOutput& output = platform::audio::AudioOutput::system());

    // Plays the cue named `which` from any thread, through the main queue; nothing once the plug-in is gone.
    void playCue(const std::string& which);

    // The cue as a 16-bit mono 44.1 kHz WAV file.
    static std::optional<std::vector<std::uint8_t>> gongWav(double hz, double seconds, float volume);

    // Main thread.
    void play(const std::string& which);

    void audioPlayerDidFinishPlaying(platform::audio::AudioPlayer& player, bool successfully) override;

    // Players started and not yet finished.
    std::size_t playingPlayerCount() const { return playingPlayers_.size(); }

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    // Players hold their delegate weakly, and a report of a player's end may arrive after the plug-in is gone;
    // empty unless a std::shared_ptr owns the plug-in.
    std::weak_ptr<DictationCuesPlugin> weakSelf();
    // Drops the player from the started ones, by identity.
    void forget(const platform::audio::AudioPlayer& player);

    platform::audio::AudioOutput& output_;
    std::vector<std::shared_ptr<platform::audio::AudioPlayer>> playingPlayers_;
};

} // namespace mirvo
