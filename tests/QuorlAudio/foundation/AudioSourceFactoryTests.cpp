#include "QuorlAudio/foundation/AudioSourceFactory.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/AudioSourceError.hpp"
#include "platform/core/UUID.hpp"
#include "tests/support/OutputCapture.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {
namespace {

using platform::sys::LogType;
using namespace std::string_view_literals;

std::vector<float> tone(int frames, int channels) {
    std::vector<float> interleaved;
    for (int frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < channels; ++channel) {
            interleaved.push_back(
                static_cast<float>(0.3 * std::sin(0.01 * frame * (channel + 1)) + 0.1 * std::sin(0.37 * frame)));
        }
    }
    return interleaved;
}

// "quorlaudio-streaming-" + an upper-case hyphenated UUID + ".raw".
bool isStreamingFileName(const std::string& name) {
    const std::string prefix = "quorlaudio-streaming-";
    if (!name.starts_with(prefix) || !name.ends_with(".raw") || name.size() != prefix.size() + 36 + 4) {
        return false;
    }
    const std::string text = name.substr(prefix.size(), 36);
    const auto uuid = platform::core::UUID::fromString(text);
    return uuid && uuid->uuidString() == text;
}

class AudioSourceFactoryTests : public ::testing::Test {
protected:
    AudioSourceFactoryTests() { environment.set("TMPDIR", temporary.path().string()); }

    std::filesystem::path write(const char* name, int format, int rate, int channels,
                                const std::vector<float>& interleaved) {
        const auto path = inputs.path() / name;
        testsupport::writeSoundFile(path, format, rate, channels, interleaved);
        return path;
    }

    std::vector<std::filesystem::path> temporaryFiles() const {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(temporary.path())) {
            files.push_back(entry.path());
        }
        return files;
    }

    std::vector<std::string> logged(LogType type) const { return sink.messages("AudioSourceFactory", type); }

    // The message of the processingFailed thrown by making a source, or "" when none was thrown.
    std::string failureOf(const std::filesystem::path& url, int targetSampleRate) const {
        try {
            AudioSourceFactory().makeDiskBackedSource(url, targetSampleRate);
        } catch (const AudioSourceError& error) {
            EXPECT_EQ(error.kind(), AudioSourceError::Kind::processingFailed);
            return error.what();
        }
        return "";
    }

    testsupport::TemporaryFolder inputs;
    testsupport::TemporaryFolder temporary;
    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink sink;
    testsupport::OutputCapture standardError;
};

TEST_F(AudioSourceFactoryTests, FilesStreamIntoATemporaryFileThatMatchesAWholeConversion) {
    const struct {
        const char* name;
        int format;
        int rate;
        int channels;
        int frames;
        const char* conversionLine;
    } cases[] = {
        {"stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 132300,
         "Streaming conversion 44100.0Hz×2ch → 16000.0Hz×1ch"},
        // The converter asks for more input frames than the 16384-frame read buffer holds.
        {"mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 100000,
         "Streaming conversion 48000.0Hz×1ch → 16000.0Hz×1ch"},
        {"narrow.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, 40000,
         "Streaming conversion 8000.0Hz×1ch → 16000.0Hz×1ch"},
    };
    for (const auto& c : cases) {
        const testsupport::RecordingLogSink caseSink;
        const auto path = write(c.name, c.format, c.rate, c.channels, tone(c.frames, c.channels));
        const auto made = AudioSourceFactory().makeDiskBackedSource(path, 16000);
        const DiskBackedAudioSampleSource& source = made.source;
        const std::vector<float> expected = AudioConverter().resampleAudioFile(path);

        ASSERT_EQ(source.sampleCount(), static_cast<std::int64_t>(expected.size())) << c.name;
        EXPECT_EQ(source.sampleCount(), std::llround(c.frames * 16000.0 / c.rate)) << c.name;
        std::vector<float> samples(expected.size());
        source.copySamples(samples.data(), 0, source.sampleCount());
        EXPECT_EQ(samples, expected) << c.name;
        EXPECT_GE(made.loadDuration, 0.0);

        ASSERT_EQ(temporaryFiles(), std::vector<std::filesystem::path>{source.fileURL()}) << c.name;
        EXPECT_TRUE(isStreamingFileName(source.fileURL().filename().string())) << source.fileURL();
        EXPECT_EQ(std::filesystem::file_size(source.fileURL()), 4 * expected.size()) << c.name;
        const std::string count = std::to_string(expected.size());
        EXPECT_EQ(caseSink.messages("AudioSourceFactory", LogType::debug),
                  (std::vector<std::string>{
                      c.conversionLine,
                      "Streaming audio temp file size=" + std::to_string(4 * expected.size()) + " bytes",
                      "Streaming audio total samples=" + count,
                  }))
            << c.name;

        source.cleanup();
        EXPECT_TRUE(temporaryFiles().empty()) << c.name;
    }
}

TEST_F(AudioSourceFactoryTests, AFileWithoutFramesGivesAnEmptySource) {
    const auto path = write("empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, {});
    const auto made = AudioSourceFactory().makeDiskBackedSource(path, 16000);
    EXPECT_EQ(made.source.sampleCount(), 0);
    EXPECT_TRUE(std::filesystem::exists(made.source.fileURL()));
    made.source.cleanup();
}

TEST_F(AudioSourceFactoryTests, UnreadableFilesAndImpossibleRatesFailAndLeaveNoTemporaryFile) {
    const auto missing = inputs.path() / "missing.wav";
    const auto corrupt = inputs.path() / "corrupt.wav";
    std::ofstream(corrupt, std::ios::binary) << "RIFF\x10\x00\x00\x00WAVEfmt nonsense"sv;
    const auto good = write("good.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, tone(100, 1));
    const struct {
        std::filesystem::path url;
        int rate;
        std::string message;
    } cases[] = {
        {missing, 16000,
         "Streaming audio source creation failed: Cannot open audio file " + missing.string() +
             ": No such file or directory"},
        {corrupt, 16000, "Streaming audio source creation failed: Cannot read audio file " + corrupt.string() + ": "},
        {good, 0, "Streaming audio source creation failed: Invalid target sample rate 0 Hz"},
        {good, -16000, "Streaming audio source creation failed: Invalid target sample rate -16000 Hz"},
    };
    for (const auto& c : cases) {
        const std::string failure = failureOf(c.url, c.rate);
        EXPECT_TRUE(failure.starts_with("Processing failed: " + c.message)) << failure;
        ASSERT_FALSE(logged(LogType::error).empty());
        EXPECT_EQ("Processing failed: " + logged(LogType::error).back(), failure);
        EXPECT_TRUE(temporaryFiles().empty()) << c.url;
    }
}

TEST_F(AudioSourceFactoryTests, AReadErrorMidwayFailsAndRemovesTheTemporaryFile) {
    const auto path = write("truncated.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 2, tone(100000, 2));
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);

    const std::string failure = failureOf(path, 16000);
    const std::string reason = "Processing failed: Failed while reading audio: Cannot read audio file " + path.string();
    EXPECT_TRUE(failure.starts_with(reason)) << failure;
    EXPECT_EQ(logged(LogType::error),
              std::vector<std::string>{"Streaming conversion failed before file mapping: " + failure});
    EXPECT_TRUE(temporaryFiles().empty());
}

// Lowers the process's file-size limit while alive, with SIGXFSZ ignored, so that writing past it fails with
// EFBIG.
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~ScopedFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
};

TEST_F(AudioSourceFactoryTests, AWriteErrorFailsAsCreationAndRemovesTheTemporaryFile) {
    const auto path = write("long.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, tone(20000, 1));
    std::string failure;
    {
        const ScopedFileSizeLimit limit(4096);
        failure = failureOf(path, 16000);
    }
    const std::string prefix = "Streaming audio source creation failed: Cannot write to " + temporary.path().string();
    ASSERT_TRUE(failure.starts_with("Processing failed: " + prefix)) << failure;
    ASSERT_TRUE(failure.ends_with(": File too large")) << failure;
    const std::string description = failure.substr(failure.find("Cannot write to "));
    EXPECT_EQ(logged(LogType::error),
              (std::vector<std::string>{"Streaming conversion failed before file mapping: " + description,
                                        "Streaming audio source creation failed: " + description}));
    EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(AudioSourceFactoryTests, AnOutputBufferTooLargeToAllocateFailsAndRemovesTheTemporaryFile) {
    const auto path = write("slow.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1000, 1, tone(100, 1));
    // ceil(2147483647 x 16384 / 1000) frames.
    const std::string failure = failureOf(path, 2147483647);
    EXPECT_EQ(failure, "Processing failed: Failed to allocate output buffer (35184372073 frames)");
    EXPECT_EQ(logged(LogType::error),
              std::vector<std::string>{"Streaming conversion failed before file mapping: " + failure});
    EXPECT_TRUE(temporaryFiles().empty());
}

TEST_F(AudioSourceFactoryTests, AnUnwritableTemporaryFolderFailsWithThePathTried) {
    const auto path = write("good.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 1, tone(100, 1));
    const auto absent = temporary.path() / "absent";
    environment.set("TMPDIR", absent.string());

    const std::string failure = failureOf(path, 16000);
    const std::string prefix = "Processing failed: Failed to create temporary audio buffer at " + absent.string() + "/";
    ASSERT_TRUE(failure.starts_with(prefix)) << failure;
    EXPECT_TRUE(isStreamingFileName(failure.substr(prefix.size()))) << failure;
    EXPECT_TRUE(logged(LogType::error).empty());
}

} // namespace
} // namespace quorl
