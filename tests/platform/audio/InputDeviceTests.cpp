#include "platform/audio/InputDevice.hpp"

#include "platform/audio/AlsaInputDevice.hpp"
#include "platform/audio/FileInputDevice.hpp"

#include "tests/platform/audio/DeliveryRecorder.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace platform::audio {
namespace {

class InputDeviceTests : public ::testing::Test {
protected:
    testsupport::TemporaryFolder folder;
    testsupport::ScopedEnvironment environment;
};

TEST_F(InputDeviceTests, WithoutAnInputFileTheDefaultAlsaDeviceIsUsed) {
    for (const std::optional<std::string>& file : {std::optional<std::string>(), std::optional<std::string>("")}) {
        testsupport::ScopedEnvironment unset;
        unset.set("MIRVO_AUDIO_INPUT_FILE", file).set("MIRVO_AUDIO_INPUT_PACE", "fast");

        const auto device = defaultInputDevice();

        EXPECT_NE(dynamic_cast<AlsaInputDevice*>(device.get()), nullptr) << file.value_or("unset");
    }
}

// A file played at one frame per second: at real-time pace its second buffer would come an hour after the
// first, so a test tells the paces apart without waiting.
TEST_F(InputDeviceTests, AnInputFileIsPlayedAtThePaceTheEnvironmentNames) {
    constexpr std::uint32_t hour = 3600;
    const auto path = folder.path() / "slow.wav";
    std::vector<float> samples;
    for (std::uint32_t frame = 0; frame < 2 * hour; ++frame) {
        samples.push_back(static_cast<float>(frame % 1000) / 32768.0F);
    }
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1, samples);
    environment.set("MIRVO_AUDIO_INPUT_FILE", path.string());

    const struct {
        std::optional<std::string> pace;
        bool fast;
    } cases[] = {{.pace = std::nullopt, .fast = false},
                 {.pace = "realtime", .fast = false},
                 {.pace = "fast", .fast = true},
                 {.pace = "Fast", .fast = false},
                 {.pace = "", .fast = false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pace.value_or("unset"));
        testsupport::ScopedEnvironment pace;
        pace.set("MIRVO_AUDIO_INPUT_PACE", c.pace);
        testsupport::DeliveryRecorder played;
        const auto device = defaultInputDevice();
        ASSERT_NE(dynamic_cast<FileInputDevice*>(device.get()), nullptr);
        EXPECT_EQ(device->format(), *AudioFormat::make(CommonFormat::float32, 1, 1, false));

        device->start(hour, played.callback());
        ASSERT_TRUE(played.waitFor(c.fast ? 2 : 1));
        device->stop();

        const std::vector<float> expected(samples.begin(), samples.begin() + (c.fast ? 2 : 1) * hour);
        EXPECT_EQ(played.joined(0), expected);
    }
}

} // namespace
} // namespace platform::audio
