#include "AsrManagerTestModels.hpp"
#include "ChunkProcessorTesting.hpp"

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"
#include "QuorlAudio/asr/batch/DualDecodeArbitration.hpp"
#include "QuorlAudio/asr/batch/DualDecodeProbe.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Choice = DualDecodeProbe::Choice;
using Decision = ChunkProcessor::ChunkStartDecision;
using Tokens = std::vector<DecodedToken>;

constexpr const char* emptyProbeLine = "[dual-decode probe] A=(n=0, conf=-inf) B=(n=0, conf=-inf) C=(n=0, conf=-inf) "
                                       "B/A=1.0 C/A=1.0 C-agree=1.0 -> A";

Decision warmingUp(std::int64_t start) { return Decision{.start = start, .useWarmupPrefix = true}; }

std::vector<Decision> starts(const std::vector<std::int64_t>& positions) {
    std::vector<Decision> decisions;
    for (const std::int64_t position : positions) {
        decisions.push_back(Decision{.start = position, .useWarmupPrefix = false});
    }
    return decisions;
}

Tokens tokens(int count, float confidence) {
    return Tokens(static_cast<std::size_t>(count),
                  DecodedToken{.token = 7, .timestamp = 0, .confidence = confidence, .duration = 1});
}

// A's tokens all have confidence 0.5; sums of powers of two are exact, so a confidence can sit on a threshold.
TEST(DualDecodeProbe, ChoosesByCountsConfidencesAndAgreement) {
    constexpr float confidenceA = 0.5f;
    const struct {
        const char* name;
        int countA;
        int countB;
        float confidenceSumB;
        int countC;
        float confidenceSumC;
        float agreementC;
        Choice choice;
    } cases[] = {
        {"all alike", 16, 16, 8, 16, 8, 1.0f, Choice::a},
        {"B finds 60 % at a higher confidence", 10, 6, 6 * 0.75f, 10, 5, 1.0f, Choice::b},
        {"B finds 90 % at a higher confidence", 10, 9, 9 * 0.75f, 10, 5, 1.0f, Choice::b},
        {"B finds 50 %", 10, 5, 5 * 0.75f, 10, 5, 1.0f, Choice::a},
        {"B finds all", 10, 10, 10 * 0.75f, 10, 5, 1.0f, Choice::a},
        {"B exactly 0.001 more confident", 10, 8, 8 * (confidenceA + 0.001f), 10, 5, 1.0f, Choice::a},
        {"B 0.002 more confident", 10, 8, 8 * (confidenceA + 0.002f), 10, 5, 1.0f, Choice::b},
        {"C finds 15 % more, 75 % of A's agree", 20, 20, 10, 23, 23 * 0.52f, 0.75f, Choice::c},
        {"C finds 10 % more", 20, 20, 10, 22, 11, 1.0f, Choice::a},
        {"C agrees on less than 75 %", 16, 16, 8, 32, 16, 0.74f, Choice::a},
        {"C exactly 0.03 more confident", 16, 16, 8, 32, 32 * (confidenceA + 0.03f), 0.75f, Choice::c},
        {"C exactly 0.03 less confident", 16, 16, 8, 32, 32 * (confidenceA - 0.03f), 0.75f, Choice::c},
        {"C 0.04 more confident", 16, 16, 8, 32, 32 * (confidenceA + 0.04f), 1.0f, Choice::a},
        {"C before B", 10, 8, 8 * 0.75f, 20, 10, 1.0f, Choice::c},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto measures = DualDecodeProbe::measures(
            testCase.countA, static_cast<float>(testCase.countA) * confidenceA, testCase.countB,
            testCase.confidenceSumB, testCase.countC, testCase.confidenceSumC, testCase.agreementC);
        EXPECT_EQ(DualDecodeProbe::decide(measures), testCase.choice);
    }
}

TEST(DualDecodeProbe, WithoutTokensInAItAlwaysChoosesA) {
    const auto measures = DualDecodeProbe::measures(0, 0, 6, 6, 40, 30, 0.9f);

    EXPECT_EQ(measures.ratioB, 1.0f);
    EXPECT_EQ(measures.ratioC, 1.0f);
    EXPECT_EQ(measures.agreementC, 1.0f);
    EXPECT_EQ(DualDecodeProbe::decide(measures), Choice::a);
}

TEST(DualDecodeProbe, LogsTheMeasuresInTheirShortestForm) {
    const struct {
        DualDecodeProbe::Measures measures;
        const char* line;
    } cases[] = {
        {DualDecodeProbe::measures(0, 0, 0, 0, 0, 0, 0.25f), emptyProbeLine},
        {DualDecodeProbe::measures(6, 5, 5, 4.5f, 0, 0, 0.5f),
         "[dual-decode probe] A=(n=6, conf=0.8333333) B=(n=5, conf=0.9) C=(n=0, conf=-inf) B/A=0.8333333 C/A=0.0 "
         "C-agree=0.5 -> B"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(DualDecodeProbe::logLine(testCase.measures, DualDecodeProbe::decide(testCase.measures)),
                  testCase.line);
    }
}

TEST(DualDecodeProbe, CAgreesWithinHalfTheOverlapInTheSameProbeChunk) {
    const auto token = [](int id, int frame) {
        return DecodedToken{.token = id, .timestamp = frame, .confidence = 0.9f, .duration = 1};
    };
    DualDecodeProbe::Reading a;
    a.add({token(7, 100), token(8, 110), token(9, 120)});
    a.add({token(10, 300)});
    DualDecodeProbe::Reading c;
    c.add({token(7, 112), token(8, 123), token(10, 300)});
    c.add({token(9, 120)});

    EXPECT_EQ(DualDecodeProbe::agreementTolerance(2.0), 12);
    // Only id 7, 12 frames away, agrees: 8 is 13 frames away, 9 and 10 are in the other probe chunk.
    EXPECT_EQ(DualDecodeProbe::agreement(a, c, 12), 0.25f);
    EXPECT_EQ(a.count, 4);
    EXPECT_FLOAT_EQ(a.confidenceSum, 3.6f);
}

TEST(DualDecodeArbitration, AWarmUpIsDecodedInFrontOfItsChunkWithoutEmitting) {
    using Window = DualDecodeArbitration::ChunkWindow;
    const struct {
        const char* name;
        Decision decision;
        std::int64_t totalSamples;
        std::int64_t warmup;
        std::optional<Window> window;
    } cases[] = {
        {"no warm-up at the start",
         {.start = 0, .useWarmupPrefix = true},
         700000,
         0,
         Window{.readStart = 0,
                .sampleCount = 239360,
                .actualAudioFrames = 187,
                .isLastChunk = false,
                .globalFrameOffset = 0,
                .emitTokensAfterGlobalFrame = std::nullopt,
                .initialTimeIndexOverride = std::nullopt}},
        {"the whole audio before the start",
         {.start = 5120, .useWarmupPrefix = true},
         700000,
         5120,
         Window{.readStart = 0,
                .sampleCount = 239360,
                .actualAudioFrames = 187,
                .isLastChunk = false,
                .globalFrameOffset = 0,
                .emitTokensAfterGlobalFrame = 4,
                .initialTimeIndexOverride = 0}},
        {"at most seven frames",
         {.start = 10240, .useWarmupPrefix = true},
         700000,
         8960,
         Window{.readStart = 1280,
                .sampleCount = 239360,
                .actualAudioFrames = 187,
                .isLastChunk = false,
                .globalFrameOffset = 1,
                .emitTokensAfterGlobalFrame = 8,
                .initialTimeIndexOverride = 0}},
        {"not asked for",
         {.start = 10240, .useWarmupPrefix = false},
         700000,
         0,
         Window{.readStart = 10240,
                .sampleCount = 239360,
                .actualAudioFrames = 187,
                .isLastChunk = false,
                .globalFrameOffset = 8,
                .emitTokensAfterGlobalFrame = std::nullopt,
                .initialTimeIndexOverride = std::nullopt}},
        {"the last chunk",
         {.start = 622080, .useWarmupPrefix = false},
         700000,
         0,
         Window{.readStart = 622080,
                .sampleCount = 77920,
                .actualAudioFrames = 61,
                .isLastChunk = true,
                .globalFrameOffset = 486,
                .emitTokensAfterGlobalFrame = std::nullopt,
                .initialTimeIndexOverride = std::nullopt}},
        {"no audio of its own", {.start = 700000, .useWarmupPrefix = false}, 700000, 0, std::nullopt},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const std::int64_t warmup = DualDecodeArbitration::warmupSamples(testCase.decision);
        EXPECT_EQ(warmup, testCase.warmup);
        EXPECT_EQ(DualDecodeArbitration::chunkWindow(testCase.decision.start, warmup, 239360, testCase.totalSamples),
                  testCase.window);
    }
}

// A decoder that answers from a table of (start, warm-up) and records what it was asked, in order.
class ScriptedChunks {
public:
    std::function<Tokens(const std::pair<std::int64_t, std::int64_t>&)> answer = [](const auto&) {
        return tokens(10, 0.5f);
    };
    std::vector<std::pair<std::int64_t, std::int64_t>> calls;

    DualDecodeArbitration::DecodeChunk decoder() {
        return [this](std::int64_t start, std::int64_t warmup) {
            calls.emplace_back(start, warmup);
            return answer(calls.back());
        };
    }
};

DualDecodeArbitration arbitration(DualDecodeArbitration::Grids grids, ScriptedChunks& chunks) {
    return DualDecodeArbitration(std::move(grids), 12, chunks.decoder(), AppLogger("ChunkProcessor"));
}

TEST(DualDecodeArbitration, TheProbeDecodesOnlyTheChunksWhoseInputDiffersFromA) {
    ScriptedChunks chunks;
    const auto run = arbitration({.a = starts({0, 5120, 10240, 20480, 30720}),
                                  .b = {starts({0})[0], warmingUp(5120), warmingUp(10240), starts({20480})[0]},
                                  .c = starts({0, 5120, 15000})},
                                 chunks);

    const auto results = run.run({});

    // Chunk 0; probe step 1 (C equals A); step 2; step 3 (B equals A, C has no chunk 3); the rest of grid A.
    const std::vector<std::pair<std::int64_t, std::int64_t>> expected{
        {0, 0}, {5120, 0}, {5120, 5120}, {10240, 0}, {10240, 8960}, {15000, 0}, {20480, 0}, {30720, 0},
    };
    EXPECT_EQ(chunks.calls, expected);
    EXPECT_EQ(results.size(), 5u);
}

// A finds 10 tokens per probe chunk at confidence 0.5, B (decoded with warm-ups) 7 at 0.75: B is chosen. Its probe
// chunks are taken as decoded and its fifth chunk follows; progress counts grid A's four chunks.
TEST(DualDecodeArbitration, ProgressCountsGridAWhateverGridIsChosen) {
    const DualDecodeArbitration::Grids grids{
        .a = starts({0, 200000, 400000, 600000}),
        .b = {starts({0})[0], warmingUp(200000), warmingUp(400000), warmingUp(600000), warmingUp(800000)},
        .c = starts({0, 200000, 400000, 600000}),
    };
    const auto answer = [](const std::pair<std::int64_t, std::int64_t>& call) {
        return call.second > 0 ? tokens(7, 0.75f) : tokens(10, 0.5f);
    };
    const testsupport::RecordingLogSink sink;
    ScriptedChunks withProgress;
    withProgress.answer = answer;
    std::vector<double> progress;

    const auto results = arbitration(grids, withProgress).run([&](double value) { progress.push_back(value); });

    EXPECT_EQ(progress, (std::vector<double>{0.25, 1.0, 1.0}));
    ASSERT_EQ(results.size(), 5u);
    EXPECT_EQ(results[0].size(), 10u);
    for (std::size_t chunk = 1; chunk < results.size(); ++chunk) {
        EXPECT_EQ(results[chunk].size(), 7u) << chunk;
    }
    EXPECT_EQ(withProgress.calls.back(), (std::pair<std::int64_t, std::int64_t>{800000, 8960}));
    EXPECT_EQ(sink.messages("ChunkProcessor"),
              std::vector<std::string>{"[dual-decode probe] A=(n=30, conf=0.5) B=(n=21, conf=0.75) C=(n=30, conf=0.5) "
                                       "B/A=0.7 C/A=1.0 C-agree=1.0 -> B"});
    ScriptedChunks withoutProgress;
    withoutProgress.answer = answer;
    EXPECT_EQ(arbitration(grids, withoutProgress).run({}), results);
    EXPECT_EQ(withoutProgress.calls, withProgress.calls);
}

TEST(DualDecodeArbitration, GridAOfOneChunkNeedsNoProbe) {
    const testsupport::RecordingLogSink sink;
    ScriptedChunks chunks;
    std::vector<double> progress;
    platform::core::CancellationSource cancelled;
    cancelled.cancel();
    const platform::core::Task::Scope scope(cancelled.token());

    const auto results =
        arbitration({.a = starts({0}), .b = starts({0}), .c = starts({0, 207360})}, chunks).run([&](double value) {
            progress.push_back(value);
        });

    EXPECT_EQ(results, std::vector<Tokens>{tokens(10, 0.5f)});
    EXPECT_EQ(chunks.calls, (std::vector<std::pair<std::int64_t, std::int64_t>>{{0, 0}}));
    EXPECT_EQ(progress, std::vector<double>{1.0});
    EXPECT_EQ(sink.messages("ChunkProcessor"), std::vector<std::string>{emptyProbeLine});
}

// Grid A of six chunks, which B and C repeat, so every decode is one of A's.
TEST(DualDecodeArbitration, CancellationIsNoticedBeforeTheProbeBetweenItsStepsAndBeforeEveryLaterChunk) {
    const struct {
        const char* name;
        std::size_t cancelledDuring;
        std::size_t decodes;
        bool throws;
    } cases[] = {
        {"chunk 0", 0, 1, true},       {"the first probe step", 1, 2, true}, {"the last probe step", 3, 4, true},
        {"a later chunk", 4, 5, true}, {"the last chunk", 5, 6, false},
    };
    const auto grid = starts({0, 200000, 400000, 600000, 800000, 1000000});
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        platform::core::CancellationSource source;
        const platform::core::Task::Scope scope(source.token());
        ScriptedChunks chunks;
        chunks.answer = [&](const auto&) {
            if (chunks.calls.size() == testCase.cancelledDuring + 1) {
                source.cancel();
            }
            return tokens(10, 0.5f);
        };
        const auto run = arbitration({.a = grid, .b = grid, .c = grid}, chunks);

        if (testCase.throws) {
            EXPECT_THROW(run.run({}), platform::core::CancellationError);
        } else {
            EXPECT_EQ(run.run({}).size(), 6u);
        }
        EXPECT_EQ(chunks.calls.size(), testCase.decodes);
    }
}

class DualDecodeEndToEndTest : public ::testing::Test {
protected:
    DualDecodeEndToEndTest() { environment_.set("TDT_EMISSION_DELAY_FRAMES", "0"); }

    std::shared_ptr<AsrManager> arbitratingManager(const AsrManagerTestModels::Vocabulary& vocabulary) {
        ASRConfig config;
        config.melChunkContext = false;
        config.dualDecodeArbitration = true;
        return AsrManager::create(config, models_.recordingModelSet(AsrModelVersion::v3, vocabulary));
    }

    static ChunkProcessor chunker(std::vector<float> audio) {
        const auto totalSamples = static_cast<std::int64_t>(audio.size());
        return standardChunkProcessor(std::make_shared<const ArrayAudioSampleSource>(std::move(audio)), totalSamples);
    }

    testsupport::ScopedEnvironment environment_;
    AsrManagerTestModels models_;
};

TEST_F(DualDecodeEndToEndTest, ARecordingOfOneChunkIsDecodedOnceAndOnlySorted) {
    const auto script = models_.scriptWords(5, 120, 9);
    const auto recogniser = arbitratingManager(script.vocabulary);
    const testsupport::RecordingLogSink sink;
    std::vector<double> progress;

    const ASRResult result = chunker(AsrManagerTestModels::recording(160000))
                                 .process(
                                     recogniser, std::chrono::steady_clock::now(),
                                     [&](double value) { progress.push_back(value); }, std::nullopt);

    EXPECT_EQ(result.text, script.text);
    EXPECT_DOUBLE_EQ(result.duration, 10.0);
    EXPECT_EQ(progress, std::vector<double>{1.0});
    EXPECT_EQ(sink.messages("ChunkProcessor"),
              (std::vector<std::string>{"ChunkProcessor using worker pool of size 4", emptyProbeLine}));
    const auto windows = models_.recordingWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].audioLength, 160000);
}

// A pause at frames 150 to 155 draws grid A's second start to frame 151, while grid C starts it at frame 162;
// later starts agree. Every chunk is decoded by the recogniser passed in, one after another.
TEST_F(DualDecodeEndToEndTest, TheProbeReadsGridsAAndCAndTheChosenGridIsMerged) {
    auto audio = AsrManagerTestModels::recording(700000);
    std::fill(audio.begin() + 150 * 1280, audio.begin() + 156 * 1280, 0.0f);
    auto script = models_.scriptWords(5, 149, 9);
    const auto rest = models_.scriptWords(158, 530, 9);
    script.vocabulary.insert(rest.vocabulary.begin(), rest.vocabulary.end());
    const auto recogniser = arbitratingManager(script.vocabulary);
    const testsupport::RecordingLogSink sink;
    std::vector<double> progress;

    const ASRResult result = chunker(std::move(audio))
                                 .process(
                                     recogniser, std::chrono::steady_clock::now(),
                                     [&](double value) { progress.push_back(value); }, std::nullopt);

    EXPECT_EQ(result.text, script.text + " " + rest.text);
    EXPECT_EQ(progress, (std::vector<double>{0.25, 1.0}));
    std::vector<int> firstFrames;
    for (const auto& window : models_.recordingWindows()) {
        firstFrames.push_back(window.firstFrame);
        EXPECT_EQ(window.recogniser, recogniser->windowInference().predictionOptions().get());
    }
    EXPECT_EQ(firstFrames, (std::vector<int>{0, 151, 162, 324, 486}));
    const auto messages = sink.messages("ChunkProcessor");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].starts_with("[dual-decode probe] A=(n=")) << messages[1];
    EXPECT_TRUE(messages[1].ends_with(" -> A")) << messages[1];
}

} // namespace
} // namespace quorl
