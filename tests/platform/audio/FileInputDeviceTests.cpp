#include "platform/audio/FileInputDevice.hpp"

#include "tests/platform/audio/DeliveryRecorder.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/RecordingSleeper.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include "platform/core/SystemError.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::audio {
namespace {

using ::testing::DoubleEq;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Samples exact in 16-bit PCM, different in every channel: channel c of frame i is ((i % 3000) - 1500 + 7c) / 32768.
std::vector<std::vector<float>> exactChannels(int frameCount, int channelCount) {
    std::vector<std::vector<float>> channels(static_cast<std::size_t>(channelCount));
    for (int channel = 0; channel < channelCount; ++channel) {
        for (int frame = 0; frame < frameCount; ++frame) {
            channels[channel].push_back(static_cast<float>(frame % 3000 - 1500 + 7 * channel) / 32768.0F);
        }
    }
    return channels;
}

// Writes a 16-bit WAV file of exact samples and returns them, channel by channel.
std::vector<std::vector<float>> writeWav(const std::filesystem::path& path, int sampleRate, int channelCount,
                                         int frameCount) {
    const auto channels = exactChannels(frameCount, channelCount);
    std::vector<float> interleaved;
    for (int frame = 0; frame < frameCount; ++frame) {
        for (const auto& channel : channels) {
            interleaved.push_back(channel[frame]);
        }
    }
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sampleRate, channelCount, interleaved);
    return channels;
}

AudioFormat processingFormat(double sampleRate, std::uint32_t channelCount) {
    return *AudioFormat::make(CommonFormat::float32, sampleRate, channelCount, false);
}

// A real-time wait that lasts until playback is stopped; tells the test each time one begins.
class BlockingSleeper final : public core::Sleeper {
public:
    void sleep(std::chrono::nanoseconds, const core::CancellationToken& token) override {
        {
            std::lock_guard lock(mutex_);
            ++sleeps_;
        }
        began_.notify_all();
        core::sleepFor(std::chrono::hours(1), token);
    }

    [[nodiscard]] bool waitForSleeps(int count) {
        std::unique_lock lock(mutex_);
        return began_.wait_for(lock, std::chrono::minutes(1), [&] { return sleeps_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable began_;
    int sleeps_ = 0;
};

class FileInputDeviceTests : public ::testing::Test {
protected:
    testsupport::TemporaryFolder folder;
    testsupport::DeliveryRecorder recorder;
};

TEST_F(FileInputDeviceTests, BuffersCarryTheFileInOrderOnTheDevicesOwnThread) {
    const struct {
        int sampleRate;
        int channelCount;
        int frameCount;
        std::uint32_t bufferFrames;
        std::vector<std::uint32_t> expectedFrames;
    } cases[] = {{.sampleRate = 16000,
                  .channelCount = 1,
                  .frameCount = 2560,
                  .bufferFrames = 1024,
                  .expectedFrames = {1024, 1024, 512}},
                 {.sampleRate = 48000,
                  .channelCount = 2,
                  .frameCount = 1000,
                  .bufferFrames = 480,
                  .expectedFrames = {480, 480, 40}},
                 {.sampleRate = 8000,
                  .channelCount = 1,
                  .frameCount = 2048,
                  .bufferFrames = 1024,
                  .expectedFrames = {1024, 1024}}};
    for (const auto& c : cases) {
        const auto path = folder.path() / ("sound" + std::to_string(c.sampleRate) + ".wav");
        SCOPED_TRACE(path);
        const auto written = writeWav(path, c.sampleRate, c.channelCount, c.frameCount);
        const auto format = processingFormat(c.sampleRate, static_cast<std::uint32_t>(c.channelCount));
        testsupport::DeliveryRecorder played;
        FileInputDevice device(path, FileInputDevice::Pace::asFastAsPossible);
        EXPECT_EQ(device.format(), format);

        device.start(c.bufferFrames, played.callback());
        ASSERT_TRUE(played.waitFor(c.expectedFrames.size()));
        device.stop();

        EXPECT_EQ(played.frameCounts(), c.expectedFrames);
        for (int channel = 0; channel < c.channelCount; ++channel) {
            EXPECT_EQ(played.joined(static_cast<std::size_t>(channel)), written[channel]) << "channel " << channel;
        }
        for (const auto& delivery : played.deliveries()) {
            EXPECT_EQ(delivery.format, format);
            EXPECT_NE(delivery.thread, std::this_thread::get_id());
        }
    }
}

TEST_F(FileInputDeviceTests, RealTimePaceWaitsThePreviousBuffersDurationBeforeEachLaterOne) {
    const auto path = folder.path() / "sound.wav";
    writeWav(path, 16000, 1, 2560);
    for (const auto pace : {FileInputDevice::Pace::realTime, FileInputDevice::Pace::asFastAsPossible}) {
        testsupport::DeliveryRecorder played;
        quorl::testing::RecordingSleeper sleeper;
        FileInputDevice device(path, pace, sleeper);

        device.start(1024, played.callback());
        ASSERT_TRUE(played.waitFor(3));
        device.stop();

        if (pace == FileInputDevice::Pace::realTime) {
            EXPECT_THAT(sleeper.waits(), ElementsAre(DoubleEq(0.064), DoubleEq(0.064)));
        } else {
            EXPECT_THAT(sleeper.waits(), IsEmpty());
        }
        EXPECT_EQ(played.frameCounts(), (std::vector<std::uint32_t>{1024, 1024, 512}));
    }
}

TEST_F(FileInputDeviceTests, StopDuringARealTimeWaitEndsPlaybackThere) {
    const auto path = folder.path() / "sound.wav";
    writeWav(path, 16000, 1, 2560);
    BlockingSleeper sleeper;
    FileInputDevice device(path, FileInputDevice::Pace::realTime, sleeper);

    device.start(1024, recorder.callback());
    ASSERT_TRUE(sleeper.waitForSleeps(1));
    device.stop();

    EXPECT_EQ(recorder.frameCounts(), (std::vector<std::uint32_t>{1024}));
}

TEST_F(FileInputDeviceTests, StartingARunningDeviceAgainPlaysFromTheFilesStart) {
    const auto path = folder.path() / "sound.wav";
    const auto written = writeWav(path, 16000, 1, 2560);
    BlockingSleeper sleeper;
    FileInputDevice device(path, FileInputDevice::Pace::realTime, sleeper);

    device.start(1024, recorder.callback());
    ASSERT_TRUE(sleeper.waitForSleeps(1));
    device.start(1024, recorder.callback());
    ASSERT_TRUE(sleeper.waitForSleeps(2));
    device.stop();

    const std::vector<float> firstBuffer(written[0].begin(), written[0].begin() + 1024);
    const auto deliveries = recorder.deliveries();
    ASSERT_EQ(deliveries.size(), 2U);
    EXPECT_EQ(deliveries[0].channels[0], firstBuffer);
    EXPECT_EQ(deliveries[1].channels[0], firstBuffer);
}

TEST_F(FileInputDeviceTests, AFileThatCannotBeReadFailsToStartAndDeliversNothing) {
    const auto missing = folder.path() / "missing.wav";
    const auto corrupt = folder.path() / "corrupt.wav";
    std::ofstream(corrupt, std::ios::binary) << "RIFF and then nothing a sound file holds";
    const struct {
        std::filesystem::path file;
        std::string domain;
        // Absent where the library chooses the code.
        std::optional<std::int64_t> code;
        std::string message;
    } cases[] = {{.file = missing,
                  .domain = "POSIX",
                  .code = ENOENT,
                  .message = "Cannot open audio file " + missing.string() + ": No such file or directory"},
                 {.file = corrupt,
                  .domain = "libsndfile",
                  .code = std::nullopt,
                  .message = "Cannot read audio file " + corrupt.string() + ": "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        FileInputDevice device(c.file, FileInputDevice::Pace::asFastAsPossible);
        EXPECT_EQ(device.format(), processingFormat(48000, 1));
        try {
            device.start(1024, recorder.callback());
            ADD_FAILURE() << "started";
        } catch (const core::SystemError& error) {
            EXPECT_EQ(error.domain(), c.domain);
            if (c.code) {
                EXPECT_EQ(error.code(), *c.code);
            } else {
                EXPECT_NE(error.code(), 0);
            }
            EXPECT_TRUE(std::string(error.what()).starts_with(c.message)) << error.what();
        }
        device.stop();
    }
    EXPECT_THAT(recorder.deliveries(), IsEmpty());
}

TEST_F(FileInputDeviceTests, BuffersOfNoFramesAreRefused) {
    const auto path = folder.path() / "sound.wav";
    writeWav(path, 16000, 1, 100);
    FileInputDevice device(path, FileInputDevice::Pace::asFastAsPossible);

    EXPECT_THROW(device.start(0, recorder.callback()), std::invalid_argument);
    EXPECT_EQ(testsupport::errorText([&] { device.start(0, recorder.callback()); }),
              "an input device delivers buffers of at least one frame");
}

TEST_F(FileInputDeviceTests, ADeliveryThatThrowsEndsPlaybackWithALogLine) {
    const auto path = folder.path() / "sound.wav";
    writeWav(path, 16000, 1, 2560);
    testsupport::RecordingLogSink log;
    recorder.afterRecording = [] { throw std::runtime_error("the tap failed"); };
    FileInputDevice device(path, FileInputDevice::Pace::asFastAsPossible);

    device.start(1024, recorder.callback());
    ASSERT_TRUE(recorder.waitFor(1));
    device.stop();

    EXPECT_EQ(recorder.frameCounts(), (std::vector<std::uint32_t>{1024}));
    EXPECT_THAT(log.messages(), ElementsAre("Audio input: playing " + path.string() + " ended: the tap failed"));
}

} // namespace
} // namespace platform::audio
