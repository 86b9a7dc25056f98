#include "tests/Mirvo/DictationModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/foundation/AudioSource.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace mirvotest {
namespace {

// The buffer size of the host's capture tap.
constexpr std::uint32_t tapFrames = 1024;

struct DictationCase {
    const char* name;
    DictationRecording recording;
    // The texts of the windows decoded while the audio streams in, then of those that finish() decodes.
    std::vector<std::string> streamedWindows;
    std::vector<std::string> finishedWindows;
};

void PrintTo(const DictationCase& testCase, std::ostream* out) { *out << testCase.name; }

// The streaming preset decodes windows of 2 s left context, 11 s centre and 2 s look-ahead, the first once
// 13 s have arrived; later windows start decoding where their centre starts, so the look-ahead of one window
// is decoded again by the next and the repeated tokens are removed.
const DictationCase cases[] = {
    // The end-to-end test's recording.
    {.name = "WordsWithinTheFirstWindow",
     .recording = wordsWithinTheFirstWindow(),
     .streamedWindows = {"one two three four"},
     .finishedWindows = {""}},
    // Words across the seams of the windows [0, 13), [9, 24) and the last one [20, 30): two and six cross a
    // centre's end, four and eight a window's end (the frames there straddle the edge or the zero padding),
    // three and seven lie in a look-ahead that the next window decodes again.
    {.name = "WordsAcrossWindowSeams",
     .recording = {.lengthSeconds = 30.0,
                   .words = {{.code = 1, .startSeconds = 1.0, .lengthSeconds = 0.6},
                             {.code = 2, .startSeconds = 10.5, .lengthSeconds = 0.6},
                             {.code = 3, .startSeconds = 12.0, .lengthSeconds = 0.6},
                             {.code = 4, .startSeconds = 12.85, .lengthSeconds = 0.5},
                             {.code = 5, .startSeconds = 17.0, .lengthSeconds = 0.6},
                             {.code = 6, .startSeconds = 21.7, .lengthSeconds = 0.6},
                             {.code = 7, .startSeconds = 23.2, .lengthSeconds = 0.6},
                             {.code = 8, .startSeconds = 23.9, .lengthSeconds = 0.5},
                             {.code = 9, .startSeconds = 27.0, .lengthSeconds = 0.6}}},
     .streamedWindows = {"one two three four", "five six seven"},
     .finishedWindows = {"eight nine"}},
};

// The dictation kernels' repository on a loopback hub, downloaded into a private Application Support folder
// and loaded the way the host prepares its models.
class DictationKernelsTest : public ::testing::TestWithParam<DictationCase> {
protected:
    DictationKernelsTest() {
        serveDictationModels(hub);
        useDictationHub(environment, hub, folder.path() / "data");
    }

    static quorl::AsrModels preparedModels() {
        return quorl::AsrModels::downloadAndLoad(
            std::nullopt,
            {.version = quorl::AsrModelVersion::v3, .encoderPrecision = quorl::ParakeetEncoderPrecision::int8},
            [](const quorl::DownloadProgress&) {});
    }

    // The file as the capture tap hands it over: consecutive buffers of 1024 frames in its own format.
    static std::vector<quorl::SlidingWindowAsrManager::AudioBuffer> tapBuffers(const std::filesystem::path& path) {
        platform::audio::AudioFile file(path);
        std::vector<quorl::SlidingWindowAsrManager::AudioBuffer> buffers;
        while (true) {
            auto buffer = platform::audio::PCMBuffer::make(file.processingFormat(), tapFrames);
            file.read(*buffer);
            if (buffer->frameLength() == 0) {
                return buffers;
            }
            buffers.push_back(std::move(buffer));
        }
    }

    testsupport::TemporaryFolder folder;
    testsupport::LoopbackHub hub;
    testsupport::ScopedEnvironment environment;
};

TEST_P(DictationKernelsTest, EveryWordComesOutOnceFromTheWindowsThatHoldIt) {
    const DictationCase& dictation = GetParam();
    const auto wav = folder.path() / "dictation.wav";
    dictation.recording.writeWav(wav);

    quorl::SlidingWindowAsrManager manager(quorl::SlidingWindowAsrConfig::streaming());
    manager.loadModels(preparedModels());
    auto updates = manager.transcriptionUpdates();
    manager.startStreaming(quorl::AudioSource::microphone);
    for (auto& buffer : tapBuffers(wav)) {
        manager.streamAudio(std::move(buffer));
    }

    for (const std::string& text : dictation.streamedWindows) {
        const auto update = updates.next();
        ASSERT_TRUE(update.has_value()) << text;
        EXPECT_EQ(update->text, text);
    }
    EXPECT_EQ(manager.finish(), dictation.recording.text());
    std::vector<std::string> finished;
    while (const auto update = updates.next()) {
        finished.push_back(update->text);
    }
    EXPECT_EQ(finished, dictation.finishedWindows);
}

INSTANTIATE_TEST_SUITE_P(Recordings, DictationKernelsTest, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace mirvotest
