#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualStreamScript.hpp"
#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorl {
namespace {

using namespace multilingualstream;
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using platform::sys::LogType;

constexpr const char* category = "NemotronMultilingualStreaming";

class StreamingNemotronMultilingualAsrManagerStreamTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerStreamTest() {
        for (const char* name : {"QUORLAUDIO_ENABLE_SMART_SPECULATIVE", "QUORLAUDIO_DISABLE_TOKEN_PREALLOC"}) {
            environment.set(name, std::nullopt);
        }
        // Plans count chunks by encoder runs, which the look-ahead would bring forward.
        environment.set("QUORLAUDIO_DISABLE_TRIPLE_STAGE", "");
    }

    std::vector<std::string> info() const { return log.messages(category, LogType::info); }

    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink log;
};

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, EveryPathTurnsPiecesOfAnyFormatIntoTextLanguageAndTimings) {
    for (const DecodingPath& path : decodingPaths()) {
        for (const bool asBuffers : {false, true}) {
            SCOPED_TRACE(std::string(path.name) + (asBuffers ? ", 44.1 kHz stereo" : ", 16 kHz floats"));
            MultilingualTestVariant variant(smallMetadata());
            StreamingNemotronMultilingualAsrManager manager;
            loadStream(manager, variant, path);
            emitPlan(variant, path.chooser, {{{0, 0}, {3, 0}}, {{10, 3}, {1}}});
            std::vector<std::string> partials;
            manager.setPartialCallback([&](const std::string& text) { partials.push_back(text); });

            if (asBuffers) {
                manager.appendAudio(*buffer(44100, 2, 50000));
                EXPECT_EQ(manager.process(*buffer(44100, 2, 51430)), "");
            } else {
                const auto samples = noise(11 * chunkSamples + chunkSamples / 2);
                for (std::size_t start = 0, piece = 1; start < samples.size(); start += piece, piece = piece * 3 + 7) {
                    const auto count = std::min(piece, samples.size() - start);
                    EXPECT_EQ(manager.process(std::span(samples).subspan(start, count)), "");
                }
            }
            EXPECT_EQ(partials, (std::vector<std::string>{"hello", "hello world"}));
            const auto finished = manager.finishWithTokenTimings();

            EXPECT_EQ(finished.text, "hello world");
            EXPECT_EQ(manager.detectedLanguage(), "de");
            ASSERT_EQ(finished.timings.size(), 2u);
            EXPECT_EQ(finished.timings[0], (TokenTiming{"\u2581hello", 0, 0.0, 0.08, 1.0F}));
            EXPECT_EQ(finished.timings[1].token, "\u2581world");
            EXPECT_DOUBLE_EQ(finished.timings[1].startTime, 11.44);
            EXPECT_DOUBLE_EQ(finished.timings[1].endTime, 11.52);
            EXPECT_EQ(manager.lastDecodeStats(), (NemotronMultilingualDecodeStats{3, "de", 12}));
            EXPECT_EQ(manager.statistics().chunkCount, 12);
        }
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, APartialCallbackMayCallIntoItsManager) {
    MultilingualTestVariant variant(smallMetadata());
    StreamingNemotronMultilingualAsrManager manager;
    loadStream(manager, variant, tripleFusion());
    emitPlan(variant, Model::decoderJointArgmax, {{{0, 1}, {4, 1}}, {{1, 0}, {0}}});
    std::vector<std::string> seen;
    manager.setPartialCallback([&](const std::string& text) {
        seen.push_back(text + " | " + manager.getPartialTranscript() + " | " +
                       manager.detectedLanguage().value_or("none"));
    });

    manager.process(noise(2 * chunkSamples));

    EXPECT_EQ(seen, (std::vector<std::string>{"world | world hello | fr", "world hello | world hello | fr"}));
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, OnlyWholeChunksAreCutAndTheRestWaits) {
    MultilingualTestVariant variant(smallMetadata());
    StreamingNemotronMultilingualAsrManager manager;
    loadStream(manager, variant, tripleFusion());
    const std::size_t before = encoderCalls(variant);

    manager.process(noise(chunkSamples - 1));
    EXPECT_EQ(encoderCalls(variant), before);
    manager.process(noise(chunkSamples + chunkSamples / 2 + 1));
    EXPECT_EQ(encoderCalls(variant), before + 2);
    EXPECT_EQ(Probe::audioBuffer(manager).pending(), chunkSamples / 2);

    manager.appendAudio(*buffer(16000, 1, chunkSamples));
    EXPECT_EQ(encoderCalls(variant), before + 2);
    manager.process(std::vector<float>{});
    EXPECT_EQ(encoderCalls(variant), before + 3);
    EXPECT_EQ(Probe::processedChunks(manager), 3);
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, FinishDecodesEveryPendingChunkThenPadsTheRest) {
    MultilingualTestVariant variant(smallMetadata());
    StreamingNemotronMultilingualAsrManager manager;
    loadStream(manager, variant, tripleFusion());
    emitPlan(variant, Model::decoderJointArgmax, {{{1, 0}, {0}}, {{2, 0}, {1}}});
    manager.appendAudio(*buffer(16000, 1, 2 * chunkSamples + 1));
    const std::size_t before = encoderCalls(variant);

    EXPECT_EQ(manager.finish(), "hello world");

    EXPECT_EQ(encoderCalls(variant), before + 3);
    EXPECT_EQ(Probe::audioBuffer(manager).size(), 0u);
    EXPECT_EQ(manager.lastDecodeStats().processedChunks, 3);
    EXPECT_EQ(manager.finish(), "");
    EXPECT_EQ(encoderCalls(variant), before + 3);
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, ASecondFinishGivesNothingAndResetForgetsTheLanguage) {
    MultilingualTestVariant variant(smallMetadata());
    StreamingNemotronMultilingualAsrManager manager;
    loadStream(manager, variant, tripleFusion());
    emitPlan(variant, Model::decoderJointArgmax, {{{0, 0}, {3, 0}}});
    manager.setAppendTerminalPunctuation(true);
    manager.process(noise(chunkSamples));

    EXPECT_EQ(manager.finish(), "Hello.");
    EXPECT_EQ(manager.finish(), "");
    EXPECT_EQ(manager.lastDecodeStats(), (NemotronMultilingualDecodeStats{0, "de", 1}));
    EXPECT_TRUE(manager.getTokenTimings().empty());

    manager.reset();
    EXPECT_EQ(manager.detectedLanguage(), std::nullopt);
    EXPECT_EQ(manager.lastDecodeStats(), (NemotronMultilingualDecodeStats{0, "de", 1}));
    EXPECT_EQ(Probe::transcript(manager).absoluteFrameBase, 0);
    EXPECT_EQ(manager.statistics().chunkCount, 1);
}

TEST_F(StreamingNemotronMultilingualAsrManagerStreamTest, NothingRunsBeforeLoadingOrAfterCleanup) {
    StreamingNemotronMultilingualAsrManager manager;
    const std::string notInitialized = "AsrManager not initialized. Call initialize() first.";
    EXPECT_EQ(testsupport::errorText([&] { manager.process(noise(10)); }), notInitialized);
    EXPECT_EQ(testsupport::errorText([&] { manager.process(*buffer(44100, 2, 10)); }), notInitialized);
    EXPECT_EQ(testsupport::errorText([&] { manager.finish(); }), notInitialized);
    EXPECT_EQ(manager.getPartialTranscript(), "");
    EXPECT_EQ(Probe::audioBuffer(manager).size(), 0u);

    MultilingualTestVariant variant(smallMetadata());
    loadStream(manager, variant, tripleFusion());
    manager.cleanup();
    EXPECT_EQ(testsupport::errorText([&] { manager.process(noise(10)); }), notInitialized);
    EXPECT_EQ(info().back(), "StreamingNemotronMultilingualAsrManager resources cleaned up");

    manager.loadModels(variant.folder());
    EXPECT_NO_THROW(manager.process(noise(chunkSamples)));
}

} // namespace
} // namespace quorl
