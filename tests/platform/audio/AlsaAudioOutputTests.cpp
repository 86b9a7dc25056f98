#include "platform/audio/AlsaAudioOutput.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <string>
#include <thread>

namespace {

using namespace platform::audio;

// Points ALSA at a configuration whose default device is the given definition, so that no sound card is used.
class AlsaAudioOutputTest : public ::testing::Test {
protected:
    void useDefaultDevice(const std::string& definition) {
        const auto path = folder.path() / "asound.conf";
        std::ofstream(path) << "pcm.!default {\n" << definition << "\n}\n";
        environment.set("ALSA_CONFIG_PATH", path.string());
    }

    std::shared_ptr<PCMBuffer> stereoSecond() {
        auto buffer = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, 44100, 2, true), 44100);
        buffer->setFrameLength(buffer->frameCapacity());
        return buffer;
    }

    testsupport::TemporaryFolder folder;
    testsupport::ScopedEnvironment environment;
};

TEST_F(AlsaAudioOutputTest, SoundIsWrittenOnABackgroundThreadThatReportsItsEnd) {
    useDefaultDevice("type null");
    AlsaAudioOutput output;
    std::promise<std::pair<bool, std::thread::id>> ended;

    ASSERT_TRUE(output.start(stereoSecond(), 0.5F, [&ended](bool successfully) {
        ended.set_value({successfully, std::this_thread::get_id()});
    }));

    const auto [successfully, thread] = ended.get_future().get();
    EXPECT_TRUE(successfully);
    EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(AlsaAudioOutputTest, DeviceThatCannotBeOpenedRefusesTheStartAndSaysWhy) {
    useDefaultDevice("type hw\ncard 99");
    testsupport::RecordingLogSink log;
    AlsaAudioOutput output;
    bool called = false;

    EXPECT_FALSE(output.start(stereoSecond(), 1.0F, [&called](bool) { called = true; }));

    EXPECT_FALSE(called);
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_TRUE(messages[0].starts_with("Audio output: cannot open the default ALSA device: ")) << messages[0];
}

} // namespace
