#include "platform/audio/AudioFile.hpp"

#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include "platform/core/SystemError.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace platform::audio {
namespace {

using namespace std::string_view_literals;

// Frames whose samples are exact in 16-bit PCM: frame i of channel c is (i - 500 + 1000 c) / 32768.
std::vector<float> exactFrames(int frameCount, int channelCount) {
    std::vector<float> interleaved;
    for (int frame = 0; frame < frameCount; ++frame) {
        for (int channel = 0; channel < channelCount; ++channel) {
            interleaved.push_back(static_cast<float>(frame - 500 + 1000 * channel) / 32768.0f);
        }
    }
    return interleaved;
}

std::shared_ptr<PCMBuffer> bufferFor(const AudioFile& file, std::uint32_t frames) {
    return PCMBuffer::make(file.processingFormat(), frames);
}

class AudioFileTests : public ::testing::Test {
protected:
    testsupport::TemporaryFolder folder;
};

TEST_F(AudioFileTests, FormatsDescribeTheFileAndTheFloatProcessingForm) {
    const struct {
        const char* name;
        int format;
        CommonFormat stored;
    } cases[] = {{"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, CommonFormat::int16},
                 {"pcm24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, CommonFormat::int32},
                 {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, CommonFormat::float32},
                 {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, CommonFormat::float64},
                 {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, CommonFormat::float32}};
    for (const auto& c : cases) {
        const auto path = folder.path() / c.name;
        testsupport::writeSoundFile(path, c.format, 22050, 2, exactFrames(3000, 2));
        const AudioFile file(path);
        EXPECT_EQ(file.fileFormat(), *AudioFormat::make(c.stored, 22050, 2, true)) << c.name;
        EXPECT_EQ(file.processingFormat(), *AudioFormat::make(CommonFormat::float32, 22050, 2, false)) << c.name;
        EXPECT_EQ(file.length(), 3000) << c.name;
        EXPECT_EQ(file.framePosition(), 0) << c.name;
    }
}

TEST_F(AudioFileTests, ReadingInPiecesDeliversEveryFrameOnceInOrder) {
    for (const char* name : {"stereo.wav", "stereo.flac"}) {
        const auto path = folder.path() / name;
        const int format =
            std::string(name).ends_with(".wav") ? SF_FORMAT_WAV | SF_FORMAT_PCM_16 : SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        const std::vector<float> written = exactFrames(2500, 2);
        testsupport::writeSoundFile(path, format, 16000, 2, written);

        AudioFile file(path);
        const auto buffer = bufferFor(file, 1000);
        std::vector<float> read;
        std::vector<std::uint32_t> pieces;
        do {
            file.read(*buffer);
            pieces.push_back(buffer->frameLength());
            for (std::uint32_t frame = 0; frame < buffer->frameLength(); ++frame) {
                read.push_back(buffer->floatChannelData()[0][frame]);
                read.push_back(buffer->floatChannelData()[1][frame]);
            }
        } while (buffer->frameLength() > 0);

        EXPECT_EQ(pieces, (std::vector<std::uint32_t>{1000, 1000, 500, 0})) << name;
        EXPECT_EQ(read, written) << name;
        EXPECT_EQ(file.framePosition(), 2500) << name;
    }
}

TEST_F(AudioFileTests, ReadingStopsAtTheFramesAskedFor) {
    const auto path = folder.path() / "mono.wav";
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, exactFrames(100, 1));
    AudioFile file(path);
    const auto buffer = bufferFor(file, 64);
    file.read(*buffer, 10);
    EXPECT_EQ(buffer->frameLength(), 10u);
    file.read(*buffer, 10);
    EXPECT_EQ(buffer->floatChannelData()[0][0], static_cast<float>(10 - 500) / 32768.0f);
    EXPECT_EQ(file.framePosition(), 20);
}

TEST_F(AudioFileTests, BuffersTooSmallOrOfAnotherFormatAreRefusedWithoutReading) {
    const auto path = folder.path() / "mono.wav";
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, exactFrames(100, 1));
    AudioFile file(path);
    const auto small = bufferFor(file, 10);
    try {
        file.read(*small, 11);
        FAIL() << "read more frames than the buffer holds";
    } catch (const core::SystemError& error) {
        EXPECT_EQ(error.domain(), "AudioFile");
        EXPECT_EQ(std::string(error.what()),
                  "Cannot read 11 frames of audio file " + path.string() + " into a buffer of 10 frames");
    }
    const auto stereo = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, 16000, 2, false), 10);
    EXPECT_THROW(file.read(*stereo), core::SystemError);
    EXPECT_EQ(file.framePosition(), 0);
}

TEST_F(AudioFileTests, MissingFilesAndCorruptHeadersFailWithReadableErrors) {
    const auto missing = folder.path() / "missing.wav";
    try {
        AudioFile file(missing);
        FAIL() << "opened a missing file";
    } catch (const core::SystemError& error) {
        EXPECT_EQ(error.domain(), "POSIX");
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_EQ(std::string(error.what()),
                  "Cannot open audio file " + missing.string() + ": No such file or directory");
    }

    const auto corrupt = folder.path() / "corrupt.wav";
    std::ofstream(corrupt, std::ios::binary) << "RIFF\x10\x00\x00\x00WAVEfmt garbage that is no header at all"sv;
    try {
        AudioFile file(corrupt);
        FAIL() << "opened a corrupt file";
    } catch (const core::SystemError& error) {
        EXPECT_EQ(error.domain(), "libsndfile");
        EXPECT_NE(error.code(), 0);
        EXPECT_TRUE(std::string(error.what()).starts_with("Cannot read audio file " + corrupt.string() + ": "))
            << error.what();
    }
}

} // namespace
} // namespace platform::audio
