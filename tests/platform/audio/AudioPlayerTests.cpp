#include "platform/audio/AudioPlayer.hpp"
#include "platform/audio/AudioPlayerDelegate.hpp"
#include "platform/audio/RecordingAudioOutput.hpp"
#include "platform/audio/WavEncoding.hpp"
#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using namespace platform::audio;

// A 16-bit mono 44.1 kHz WAV file of three samples, the shape of the host's cues.
std::vector<std::uint8_t> shortCue() { return WavEncoding::file(std::vector<std::int16_t>{0, 1, 3}, 44100); }

class RecordingDelegate : public AudioPlayerDelegate {
public:
    struct Call {
        AudioPlayer* player;
        bool successfully;
        // Whether the player was still playing when it reported its end.
        bool stillPlaying;
    };

    void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) override {
        calls.push_back(Call{.player = &player, .successfully = successfully, .stillPlaying = player.isPlaying()});
    }

    std::vector<Call> calls;
};

class AudioPlayerTest : public ::testing::Test {
protected:
    std::shared_ptr<AudioPlayer> makePlayer() {
        auto player = AudioPlayer::make(shortCue(), output);
        player->setDelegate(delegate);
        return player;
    }

    RecordingAudioOutput output;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(AudioPlayerTest, PlayStartsTheSoundOnTheOutputAtThePlayersVolume) {
    auto player = makePlayer();
    EXPECT_EQ(player->volume(), 1.0F);
    EXPECT_EQ(player->sound().frameLength(), 3U);
    player->setVolume(0.25F);

    EXPECT_TRUE(player->play());
    EXPECT_TRUE(player->isPlaying());
    const auto playbacks = output.playbacks();
    ASSERT_EQ(playbacks.size(), 1U);
    EXPECT_EQ(playbacks[0].buffer.get(), &player->sound());
    EXPECT_EQ(playbacks[0].volume, 0.25F);
    EXPECT_FALSE(playbacks[0].finished);

    EXPECT_TRUE(player->play());
    EXPECT_EQ(output.playbacks().size(), 1U);
}

TEST_F(AudioPlayerTest, PlayerRefusesDataThatIsNotAPlayableFile) {
    constexpr std::string_view notASound = "not a sound";
    EXPECT_THROW(AudioPlayer::make(std::vector<std::uint8_t>(notASound.begin(), notASound.end()), output),
                 platform::core::SystemError);
    EXPECT_TRUE(output.playbacks().empty());
}

TEST_F(AudioPlayerTest, VolumeStaysBetweenSilenceAndFull) {
    auto player = makePlayer();
    for (const auto& [given, kept] : std::vector<std::pair<float, float>>{
             {0.18F, 0.18F}, {1.5F, 1.0F}, {-0.5F, 0.0F}, {std::numeric_limits<float>::quiet_NaN(), 0.0F}}) {
        player->setVolume(given);
        EXPECT_EQ(player->volume(), kept) << given;
    }
}

TEST_F(AudioPlayerTest, DelegateIsToldOfTheEndWithItsOutcomeOnce) {
    for (const bool successfully : {true, false}) {
        SCOPED_TRACE(successfully);
        delegate->calls.clear();
        RecordingAudioOutput fresh;
        auto player = AudioPlayer::make(shortCue(), fresh);
        player->setDelegate(delegate);
        ASSERT_TRUE(player->play());

        fresh.finish(0, successfully);
        fresh.finish(0, !successfully);
        fresh.finishAll();

        ASSERT_EQ(delegate->calls.size(), 1U);
        EXPECT_EQ(delegate->calls[0].player, player.get());
        EXPECT_EQ(delegate->calls[0].successfully, successfully);
        EXPECT_FALSE(delegate->calls[0].stillPlaying);
        EXPECT_TRUE(fresh.playbacks()[0].finished);
        EXPECT_FALSE(player->isPlaying());
    }
}

TEST_F(AudioPlayerTest, RefusedStartReportsFailureRecordsNothingAndKeepsNothingAlive) {
    output.refuseStarts(true);
    auto player = makePlayer();
    const std::weak_ptr<AudioPlayer> watched = player;

    EXPECT_FALSE(player->play());
    EXPECT_FALSE(player->isPlaying());
    EXPECT_TRUE(output.playbacks().empty());
    player.reset();
    EXPECT_TRUE(watched.expired());
    EXPECT_TRUE(delegate->calls.empty());

    output.refuseStarts(false);
    EXPECT_TRUE(makePlayer()->play());
    EXPECT_EQ(output.playbacks().size(), 1U);
}

TEST_F(AudioPlayerTest, PlayerDroppedByItsCallerLivesUntilItHasReportedItsEnd) {
    auto player = makePlayer();
    const std::weak_ptr<AudioPlayer> watched = player;
    ASSERT_TRUE(player->play());
    player.reset();
    EXPECT_FALSE(watched.expired());

    output.finish(0);
    ASSERT_EQ(delegate->calls.size(), 1U);
    EXPECT_TRUE(delegate->calls[0].successfully);
    EXPECT_TRUE(watched.expired());
}

TEST_F(AudioPlayerTest, DelegateIsHeldWeakly) {
    auto player = makePlayer();
    const std::weak_ptr<RecordingDelegate> watchedDelegate = delegate;
    const std::weak_ptr<AudioPlayer> watchedPlayer = player;
    ASSERT_TRUE(player->play());
    delegate.reset();
    player.reset();
    EXPECT_TRUE(watchedDelegate.expired());

    output.finish(0);
    EXPECT_TRUE(watchedPlayer.expired());
}

TEST_F(AudioPlayerTest, SoundsOverlapAndEndInAnyOrder) {
    auto first = makePlayer();
    auto second = makePlayer();
    ASSERT_TRUE(first->play());
    ASSERT_TRUE(second->play());

    output.finish(1);
    EXPECT_TRUE(first->isPlaying());
    output.finishAll(false);

    ASSERT_EQ(delegate->calls.size(), 2U);
    EXPECT_EQ(delegate->calls[0].player, second.get());
    EXPECT_TRUE(delegate->calls[0].successfully);
    EXPECT_EQ(delegate->calls[1].player, first.get());
    EXPECT_FALSE(delegate->calls[1].successfully);
    EXPECT_THROW(output.finish(2), std::out_of_range);
}

} // namespace
