#include "ChannelHarness.hpp"

#include "Mirvo/AudioCapturePlugin.hpp"
#include "Mirvo/InputLevelMeter.hpp"

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace mirvo {
namespace {

namespace audio = platform::audio;
namespace ui = platform::ui;

constexpr double startOfTest = 1'700'000'000.0;

// A buffer whose every frame holds `first` in channel 0 and `others` in the remaining channels.
std::shared_ptr<audio::PCMBuffer> constantBuffer(float first, float others = 0, std::uint32_t channels = 1,
                                                 bool interleaved = false, std::uint32_t frames = 256) {
    const auto format = audio::AudioFormat::make(audio::CommonFormat::float32, 16000, channels, interleaved);
    auto buffer = audio::PCMBuffer::make(*format, frames);
    buffer->setFrameLength(frames);
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            const float sample = channel == 0 ? first : others;
            if (interleaved) {
                buffer->floatChannelData()[0][frame * channels + channel] = sample;
            } else {
                buffer->floatChannelData()[channel][frame] = sample;
            }
        }
    }
    return buffer;
}

class InputLevelMeterTests : public ::testing::Test {
protected:
    double now = startOfTest;
    InputLevelMeter meter{[this] { return now; }};

    std::optional<double> levelAt(double time, const audio::PCMBuffer& buffer) {
        now = time;
        return meter.level(buffer);
    }
};

TEST_F(InputLevelMeterTests, LevelIsTheFirstChannelsRootMeanSquareTimesEightCappedAtOne) {
    const struct {
        const char* name;
        std::shared_ptr<audio::PCMBuffer> buffer;
        double level;
    } cases[] = {
        {"silence", constantBuffer(0), 0.0},
        {"1/16 gives 0.5", constantBuffer(0.0625f), 0.5},
        {"negative samples count the same", constantBuffer(-0.0625f), 0.5},
        {"0.125 reaches exactly 1", constantBuffer(0.125f), 1.0},
        {"louder is capped", constantBuffer(0.9f), 1.0},
        {"other channels are ignored", constantBuffer(0.0625f, 1.0f, 2), 0.5},
        {"interleaved channels are told apart", constantBuffer(0.0625f, 1.0f, 2, true), 0.5},
    };
    double time = startOfTest;
    for (const auto& c : cases) {
        time += 1;
        EXPECT_EQ(levelAt(time, *c.buffer), c.level) << c.name;
    }
}

TEST_F(InputLevelMeterTests, TwoLevelsAreNeverCloserThanATenthOfASecond) {
    const auto buffer = constantBuffer(0.01f);
    std::vector<double> emitted;
    for (int step = 0; step < 100; ++step) {
        const double time = startOfTest + step * 0.023;
        if (levelAt(time, *buffer)) {
            emitted.push_back(time);
        }
    }
    ASSERT_GT(emitted.size(), 10u);
    for (std::size_t index = 1; index < emitted.size(); ++index) {
        EXPECT_GE(emitted[index] - emitted[index - 1], InputLevelMeter::interval);
    }
}

TEST_F(InputLevelMeterTests, ABufferWithoutFramesOrFloatSamplesYieldsNothingButUsesTheSlot) {
    const auto empty = constantBuffer(0.5f, 0, 1, false, 0);
    const auto int16Format = audio::AudioFormat::make(audio::CommonFormat::int16, 16000, 1, false);
    auto int16Buffer = audio::PCMBuffer::make(*int16Format, 16);
    int16Buffer->setFrameLength(16);
    const auto loud = constantBuffer(0.5f);

    EXPECT_EQ(levelAt(startOfTest, *empty), std::nullopt);
    EXPECT_EQ(levelAt(startOfTest + 0.05, *loud), std::nullopt);
    EXPECT_EQ(levelAt(startOfTest + 0.2, *int16Buffer), std::nullopt);
    EXPECT_EQ(levelAt(startOfTest + 0.25, *loud), std::nullopt);
    EXPECT_EQ(levelAt(startOfTest + 0.35, *loud), 1.0);
}

// A capturing plug-in on a clock the test sets.
class MeteredPlugin : public AudioCapturePlugin {
public:
    MeteredPlugin(ui::BinaryMessenger& messenger, double& now)
        : AudioCapturePlugin(messenger, "test/metered", "test/metered_events", [&now] { return now; }) {}
};

TEST(AudioCapturePluginLevelTests, EmitLevelSendsALevelEvent) {
    testing::ChannelHarness harness;
    double now = startOfTest;
    const auto plugin = std::make_shared<MeteredPlugin>(harness.messenger(), now);
    harness.listen("test/metered_events");

    plugin->emitLevel(*constantBuffer(0.0625f));
    now += 0.01;
    plugin->emitLevel(*constantBuffer(0.0625f));
    harness.runUntilIdle();

    EXPECT_EQ(harness.events("test/metered_events"),
              (std::vector<ui::Value>{ui::ValueMap{{"type", "level"}, {"level", 0.5}}}));
}

} // namespace
} // namespace mirvo
