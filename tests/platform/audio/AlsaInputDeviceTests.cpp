#include "platform/audio/AlsaInputDevice.hpp"

#include "tests/platform/audio/DeliveryRecorder.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include "platform/core/SystemError.hpp"

#include <alsa/asoundlib.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace platform::audio {
namespace {

using ::testing::Each;
using ::testing::IsEmpty;

AudioFormat captureFormat() { return *AudioFormat::make(CommonFormat::float32, 48000, 1, false); }

class AlsaInputDeviceTests : public ::testing::Test {
protected:
    // Points ALSA at a configuration whose default device is a null device, which captures silence without a
    // sound card.
    void useNullDefaultDevice() {
        const auto path = folder.path() / "asound.conf";
        std::ofstream(path) << "pcm.!default {\ntype null\n}\n";
        environment.set("ALSA_CONFIG_PATH", path.string());
    }

    testsupport::TemporaryFolder folder;
    testsupport::ScopedEnvironment environment;
    testsupport::DeliveryRecorder recorder;
};

TEST_F(AlsaInputDeviceTests, AnUnknownDeviceFailsToStartWithTheAlsaError) {
    AlsaInputDevice device("mirvo-test-no-such-device");
    EXPECT_EQ(device.format(), captureFormat());

    try {
        device.start(1024, recorder.callback());
        FAIL() << "started";
    } catch (const core::SystemError& error) {
        EXPECT_EQ(error.domain(), "ALSA");
        EXPECT_GT(error.code(), 0);
        EXPECT_EQ(std::string(error.what()), std::string("Cannot open audio input \"mirvo-test-no-such-device\": ") +
                                                 snd_strerror(-static_cast<int>(error.code())));
    }
    device.stop();
    EXPECT_THAT(recorder.deliveries(), IsEmpty());
}

TEST_F(AlsaInputDeviceTests, BuffersOfNoFramesAreRefused) {
    AlsaInputDevice device("mirvo-test-no-such-device");

    EXPECT_EQ(testsupport::errorText([&] { device.start(0, recorder.callback()); }),
              "an input device delivers buffers of at least one frame");
    EXPECT_THROW(device.start(0, recorder.callback()), std::invalid_argument);
}

TEST_F(AlsaInputDeviceTests, CapturedAudioArrivesInFullBuffersOnTheDevicesThreadUntilStopped) {
    useNullDefaultDevice();
    AlsaInputDevice device;

    for (int run = 0; run < 2; ++run) {
        testsupport::DeliveryRecorder captured;
        device.start(480, captured.callback());
        ASSERT_TRUE(captured.waitFor(3));
        device.stop();
        const auto stoppedAt = captured.deliveries().size();

        EXPECT_THAT(captured.frameCounts(), Each(480U));
        for (const auto& delivery : captured.deliveries()) {
            EXPECT_EQ(delivery.format, captureFormat());
            EXPECT_NE(delivery.thread, std::this_thread::get_id());
            EXPECT_THAT(delivery.channels[0], Each(0.0F));
        }
        EXPECT_EQ(captured.deliveries().size(), stoppedAt);
    }
}

} // namespace
} // namespace platform::audio
