#include "ChannelHarness.hpp"

#include "Mirvo/DictationPlugin.hpp"

#include "platform/audio/FileInputDevice.hpp"
#include "platform/audio/InputDevice.hpp"
#include "platform/audio/MicrophoneAccess.hpp"
#include "platform/core/Clock.hpp"
#include "platform/ui/ValueJson.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace mirvo {
namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

constexpr const char* channel = "mirvo/dictation";
constexpr const char* eventChannel = "mirvo/dictation_events";

// The pocketsphinx test recording (package pocketsphinx-testdata): 16 kHz mono 16-bit samples without a header.
const fs::path goForwardRecording = "/usr/share/pocketsphinx/test/data/goforward.raw";

std::vector<float> rawSamples(const fs::path& file) {
    std::ifstream input(file, std::ios::binary);
    std::vector<float> samples;
    std::int16_t sample = 0;
    while (input.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
        samples.push_back(static_cast<float>(sample) / 32768.0F);
    }
    return samples;
}

// Passes a device's buffers on and counts their frames, so the test knows when the whole file was captured.
class CountingInputDevice final : public platform::audio::InputDevice {
public:
    explicit CountingInputDevice(std::shared_ptr<platform::audio::InputDevice> device) : device_(std::move(device)) {}

    platform::audio::AudioFormat format() const override { return device_->format(); }

    void start(std::uint32_t bufferFrames, Delivery deliver) override {
        device_->start(bufferFrames, [this, deliver](const platform::audio::PCMBuffer& buffer) {
            deliver(buffer);
            {
                const std::lock_guard lock(mutex_);
                frames_ += buffer.frameLength();
            }
            delivered_.notify_all();
        });
    }

    void stop() override { device_->stop(); }

    bool waitForFrames(std::uint64_t frames) {
        std::unique_lock lock(mutex_);
        return delivered_.wait_for(lock, std::chrono::minutes(1), [&] { return frames_ >= frames; });
    }

private:
    const std::shared_ptr<platform::audio::InputDevice> device_;
    std::mutex mutex_;
    std::condition_variable delivered_;
    std::uint64_t frames_ = 0;
};

TEST(DictationRecognitionTests, TheRecordingThroughTheFileMicrophoneComesBackFromStop) {
    const auto samples = rawSamples(goForwardRecording);
    ASSERT_FALSE(samples.empty()) << "pocketsphinx-testdata is not installed";
    testsupport::TemporaryFolder folder;
    const auto recording = folder.path() / "goforward.wav";
    testsupport::writeSoundFile(recording, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, samples);

    // The stop's time-out never fires on this clock, so the reply is the final result however slow the decoder.
    platform::core::VirtualClock clock;
    testing::ChannelHarness harness(clock);
    platform::audio::MicrophoneAccess access;
    const auto device = std::make_shared<CountingInputDevice>(std::make_shared<platform::audio::FileInputDevice>(
        recording, platform::audio::FileInputDevice::Pace::asFastAsPossible));
    auto plugin = std::make_shared<DictationPlugin>(
        harness.messenger(),
        DictationPlugin::Services{.microphoneAccess = &access, .inputDevice = [device] { return device; }});
    harness.listen(eventChannel);

    EXPECT_EQ(harness.call(channel, "getSupportedLocales"),
              ui::MethodReply(ui::Value(ui::ValueList{ui::Value("en-US:true")})));
    ASSERT_EQ(harness.call(channel, "prepare", ui::ValueMap{{"locale", "en-US"}}), ui::MethodReply(ui::Value()));
    ASSERT_EQ(harness.callUntilAnswered(channel, "start"), ui::MethodReply(ui::Value()));
    ASSERT_TRUE(device->waitForFrames(samples.size()));

    EXPECT_EQ(harness.callUntilAnswered(channel, "stop"), ui::MethodReply(ui::Value("go forward ten meters")))
        << "events: " << ui::toJson(ui::Value(ui::ValueList(harness.events(eventChannel)))).dump();
}

} // namespace
} // namespace mirvo
