#include "AsrManagerTestModels.hpp"
#include "ChunkGate.hpp"

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::errorText;

constexpr const char* cancelledText = "The operation was cancelled.";

// Every value up to the end of the stream, which must end.
std::vector<double> progressValues(ProgressEmitter::Stream& stream) {
    std::vector<double> values;
    while (const auto value = stream.next()) {
        values.push_back(*value);
    }
    return values;
}

class AsrLongAudioTest : public ::testing::Test {
protected:
    AsrLongAudioTest() {
        environment_.set("TDT_EMISSION_DELAY_FRAMES", "0");
        environment_.set("TMPDIR", temporaryFiles_.path().string());
        script_ = models_.scriptWords(5, 300, 9);
    }

    // The text of the scripted words before the frame.
    std::string textBefore(int frame) { return models_.scriptWords(5, frame, 9).text; }

    std::shared_ptr<AsrManager> manager(const ChunkGate& gate, int workers = 4) {
        ASRConfig config;
        config.parallelChunkConcurrency = workers;
        auto models = models_.recordingModelSet(AsrModelVersion::v3, script_.vocabulary, gate.windowGate());
        return AsrManager::create(config, std::move(models));
    }

    // A 16 kHz mono file of a recording, in 32-bit float WAV, so the disk-backed road reads the samples unchanged.
    std::filesystem::path recordingFile(std::size_t samples) const {
        const auto path = folder_.path() / "recording.wav";
        testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 16000, 1,
                                    AsrManagerTestModels::recording(samples));
        return path;
    }

    bool temporaryFilesRemain() const { return !std::filesystem::is_empty(temporaryFiles_.path()); }

    testsupport::ScopedEnvironment environment_;
    testsupport::TemporaryFolder temporaryFiles_;
    testsupport::TemporaryFolder folder_;
    AsrManagerTestModels models_;
    AsrManagerTestModels::RecordingScript script_;
    TdtDecoderState state_ = TdtDecoderState::make(2);
};

// 300000 samples make two chunks; the first reaches sample 238080.
TEST_F(AsrLongAudioTest, LongSamplesReportTheirProgressAndLeaveTheDecoderStateAlone) {
    const ChunkGate gate({});
    const auto recogniser = manager(gate);
    auto progress = recogniser->transcriptionProgressStream();

    const ASRResult result = recogniser->transcribe(AsrManagerTestModels::recording(300000), state_);

    EXPECT_EQ(result.text, textBefore(235));
    EXPECT_DOUBLE_EQ(result.duration, 18.75);
    EXPECT_FLOAT_EQ(result.confidence, 0.9f);
    EXPECT_EQ(progressValues(progress), (std::vector<double>{0.0, 0.7936, 1.0}));
    EXPECT_EQ(state_.lastToken, std::nullopt);
}

// Three chunks on two workers: chunk 1 cancels the transcription on arrival while chunk 0 is held, so chunk 2
// is never started and chunk 0 is cancelled where it waits.
TEST_F(AsrLongAudioTest, CancellationStopsTheChunksAndEndsTheProgressWithIt) {
    ChunkGate gate(contextWindowStarts(3));
    gate.hold({0});
    platform::core::CancellationSource cancellation;
    gate.onArrival(1, [&] {
        EXPECT_TRUE(gate.awaitArrival(0));
        cancellation.cancel();
    });
    const auto recogniser = manager(gate, 2);
    auto progress = recogniser->transcriptionProgressStream();
    std::vector<ChunkGate::Entry> entriesWhenThrown;

    {
        const platform::core::Task::Scope scope(cancellation.token());
        try {
            recogniser->transcribe(AsrManagerTestModels::recording(500000), state_);
            ADD_FAILURE() << "the transcription was not cancelled";
        } catch (const platform::core::CancellationError&) {
            entriesWhenThrown = gate.entries();
        }
    }

    ASSERT_EQ(entriesWhenThrown.size(), 2u);
    EXPECT_EQ(gate.entries(), entriesWhenThrown);
    EXPECT_EQ(gate.recogniserOf(2), nullptr);
    const auto chunk0 = std::ranges::find(entriesWhenThrown, 0, &ChunkGate::Entry::chunk);
    ASSERT_NE(chunk0, entriesWhenThrown.end());
    EXPECT_EQ(chunk0->exit, ChunkGate::Exit::cancelled);
    EXPECT_EQ(progress.next(), 0.0);
    EXPECT_EQ(progress.next(), 238080.0 / 500000);
    EXPECT_EQ(progress.next(), 444160.0 / 500000);
    EXPECT_EQ(errorText([&] { progress.next(); }), cancelledText);
}

TEST_F(AsrLongAudioTest, TheDiskBackedSampleFileIsRemovedHoweverTheTranscriptionEnds) {
    platform::core::CancellationSource cancellation;
    const struct {
        const char* name;
        std::function<void()> onChunk1;
        std::string outcome;
    } cases[] = {
        {"success", [] {}, script_.text},
        {"failure", [] { throw std::runtime_error("chunk 1 failed"); }, "chunk 1 failed"},
        {"cancellation", [&] { cancellation.cancel(); }, cancelledText},
    };
    const auto file = recordingFile(400000);
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ChunkGate gate(contextWindowStarts(2));
        gate.onArrival(1, testCase.onChunk1);
        const auto recogniser = manager(gate);
        const platform::core::Task::Scope scope(cancellation.token());

        std::string outcome;
        try {
            outcome = recogniser->transcribeDiskBacked(file, state_).text;
        } catch (const std::exception& error) {
            outcome = error.what();
        }

        EXPECT_EQ(outcome, testCase.outcome);
        EXPECT_FALSE(temporaryFilesRemain());
    }
}

// Ten seconds make one chunk, read whole and only sorted; the worker pool is built all the same.
TEST_F(AsrLongAudioTest, AShortDiskBackedFileIsStillOneChunkOfTheChunker) {
    const ChunkGate gate({});
    const auto recogniser = manager(gate);
    auto progress = recogniser->transcriptionProgressStream();
    EXPECT_EQ(progress.next(), 0.0);
    const testsupport::RecordingLogSink sink;

    const ASRResult result = recogniser->transcribeDiskBacked(recordingFile(160000), state_);

    EXPECT_EQ(result.text, textBefore(125));
    EXPECT_DOUBLE_EQ(result.duration, 10.0);
    const auto windows = models_.recordingWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].audioLength, 160000);
    EXPECT_EQ(sink.messages("ChunkProcessor"), std::vector<std::string>{"ChunkProcessor using worker pool of size 4"});
    // The session is still open and got nothing from this transcription.
    EXPECT_TRUE(progress.continuation().yield(0.5));
    EXPECT_EQ(progress.next(), 0.5);
    EXPECT_FALSE(temporaryFilesRemain());
}

} // namespace
} // namespace quorl
