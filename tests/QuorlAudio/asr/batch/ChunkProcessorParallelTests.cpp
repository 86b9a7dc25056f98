#include "AsrManagerTestModels.hpp"
#include "ChunkGate.hpp"
#include "ChunkProcessorTesting.hpp"

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"
#include "QuorlAudio/asr/batch/HypothesisTokens.hpp"
#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"

#include "platform/core/TaskGroup.hpp"
#include "platform/core/ThreadPool.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using testsupport::errorText;

constexpr std::int64_t frameSamples = 1280;
// With mel context on, chunks start every 206080 samples (161 frames) and each but the first is read from one
// frame earlier.
constexpr int strideFrames = 161;
constexpr std::int64_t chunkSamples = 238080;

// Fails every read that reaches `failingFrom`, after calling `beforeFailing`.
class FailingSampleSource : public AudioSampleSource {
public:
    FailingSampleSource(std::vector<float> samples, std::int64_t failingFrom, std::function<void()> beforeFailing)
        : samples_(std::move(samples)), failingFrom_(failingFrom), beforeFailing_(std::move(beforeFailing)) {}

    std::int64_t sampleCount() const override { return samples_.sampleCount(); }

    void copySamples(float* destination, std::int64_t offset, std::int64_t count) const override {
        if (offset + count > failingFrom_) {
            beforeFailing_();
            throw std::runtime_error("the disk went away");
        }
        samples_.copySamples(destination, offset, count);
    }

private:
    ArrayAudioSampleSource samples_;
    std::int64_t failingFrom_;
    std::function<void()> beforeFailing_;
};

class ChunkProcessorParallelTest : public ::testing::Test {
protected:
    ChunkProcessorParallelTest() { environment_.set("TDT_EMISSION_DELAY_FRAMES", "0"); }

    static ChunkProcessor chunker(std::shared_ptr<const AudioSampleSource> source) {
        const std::int64_t totalSamples = source->sampleCount();
        return standardChunkProcessor(std::move(source), totalSamples);
    }

    static ChunkProcessor chunker(std::size_t samples) {
        return chunker(std::make_shared<const ArrayAudioSampleSource>(AsrManagerTestModels::recording(samples)));
    }

    std::shared_ptr<AsrManager> manager(const ASRConfig& config, const AsrManagerTestModels::Vocabulary& vocabulary,
                                        const ChunkGate& gate, AsrModelVersion version = AsrModelVersion::v3) {
        return AsrManager::create(config, models_.recordingModelSet(version, vocabulary, gate.windowGate()));
    }

    static ASRConfig withConcurrency(int workers) {
        ASRConfig config;
        config.parallelChunkConcurrency = workers;
        return config;
    }

    static void expectNoTimeOut(const ChunkGate& gate) {
        for (const auto& entry : gate.entries()) {
            EXPECT_NE(entry.exit, ChunkGate::Exit::timedOut) << "chunk " << entry.chunk;
        }
    }

    testsupport::ScopedEnvironment environment_;
    AsrManagerTestModels models_;
};

// Three minutes make fourteen chunks on four workers. Chunks 0, 1 and 3 are held until chunk 4 has been handed out,
// so chunk 2 comes back first and chunk 4 can only go to its worker.
TEST_F(ChunkProcessorParallelTest, ChunksGoToTheWorkerFreeLongestAndAreMergedInChunkOrder) {
    constexpr std::int64_t samples = 2880000;
    const auto script = models_.scriptWords(5, 2240, 9);
    ChunkGate gate(contextWindowStarts(14));
    gate.hold({0, 1, 3});
    const auto recogniser = manager(ASRConfig(), script.vocabulary, gate);
    const testsupport::RecordingLogSink sink;
    std::vector<double> progress;
    // Chunk 4 itself may already be under way when its progress is reported.
    std::vector<int> firstFourGoneOn;
    const auto onProgress = [&](double value) {
        progress.push_back(value);
        if (progress.size() == 5) {
            for (const auto& entry : gate.entries()) {
                if (entry.chunk < 4) {
                    firstFourGoneOn.push_back(entry.chunk);
                }
            }
            gate.releaseAll();
        }
    };

    const ASRResult result =
        chunker(samples).process(recogniser, std::chrono::steady_clock::now(), onProgress, std::nullopt);

    expectNoTimeOut(gate);
    EXPECT_EQ(result.text, script.text);
    EXPECT_NEAR(result.confidence, 0.9f, 1e-5);
    EXPECT_DOUBLE_EQ(result.duration, 180.0);
    EXPECT_EQ(firstFourGoneOn, std::vector<int>{2});
    EXPECT_EQ(gate.recogniserOf(4), gate.recogniserOf(2));
    EXPECT_EQ(gate.recogniserOf(0), recogniser->windowInference().predictionOptions().get());
    const std::set<const void*> firstFour{gate.recogniserOf(0), gate.recogniserOf(1), gate.recogniserOf(2),
                                          gate.recogniserOf(3)};
    EXPECT_EQ(firstFour.size(), 4u);
    // Every chunk but the last reports how far the chunks handed out reach.
    std::vector<double> expected;
    for (std::int64_t chunk = 0; chunk < 13; ++chunk) {
        expected.push_back(static_cast<double>(chunk * strideFrames * frameSamples + chunkSamples) / samples);
    }
    EXPECT_EQ(progress, expected);
    EXPECT_EQ(sink.messages("ChunkProcessor"), std::vector<std::string>{"ChunkProcessor using worker pool of size 4"});
}

// 300000 samples: chunk 0 reads [0, 238080); chunk 1 reads [204800, 300000), one frame of context before its
// start 206080, so it decodes from its second frame and stamps its tokens from frame 161 on.
TEST_F(ChunkProcessorParallelTest, ChunksReadTheirContextAndReportTheAudioHandedOut) {
    const struct {
        int workers;
        std::vector<std::string> messages;
        std::size_t recognisers;
    } cases[] = {
        {1, {}, 1},
        {4, {"ChunkProcessor using worker pool of size 4"}, 2},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.workers);
        const auto script = models_.scriptWords(5, 230, 9);
        ChunkGate gate(contextWindowStarts(2));
        const auto recogniser = manager(withConcurrency(testCase.workers), script.vocabulary, gate);
        const auto jointCallsBefore = models_.joint.calls().size();
        const testsupport::RecordingLogSink sink;
        std::vector<double> progress;

        const ASRResult result = chunker(300000).process(
            recogniser, std::chrono::steady_clock::now(), [&](double value) { progress.push_back(value); },
            std::nullopt);

        EXPECT_EQ(result.text, script.text);
        EXPECT_EQ(progress, std::vector<double>{0.7936});
        EXPECT_EQ(sink.messages("ChunkProcessor"), testCase.messages);
        auto windows = models_.recordingWindows();
        windows.erase(windows.begin(), windows.end() - 2);
        std::ranges::sort(windows, {}, &AsrManagerTestModels::RecordingWindow::firstFrame);
        EXPECT_EQ(windows[0].firstFrame, 0);
        EXPECT_EQ(windows[0].audioLength, 238080);
        EXPECT_EQ(windows[1].firstFrame, 160);
        EXPECT_EQ(windows[1].audioLength, 95200);
        const std::set<const void*> recognisers{windows[0].recogniser, windows[1].recogniser};
        EXPECT_EQ(recognisers.size(), testCase.recognisers);
        EXPECT_TRUE(recognisers.contains(recogniser->windowInference().predictionOptions().get()));
        // Frame 160 is decoded only by chunk 0; frames 161 to 185 by both chunks.
        std::vector<int> asked = models_.jointFrames();
        asked.erase(asked.begin(), asked.begin() + static_cast<std::ptrdiff_t>(jointCallsBefore));
        EXPECT_EQ(std::ranges::count(asked, 160), 1);
        EXPECT_EQ(std::ranges::count(asked, 161), 2);
        // The last word, at frame 221, comes from chunk 1 alone: its local frame 61 after an offset of 161 frames.
        ASSERT_TRUE(result.tokenTimings.has_value());
        ASSERT_EQ(result.tokenTimings->size(), 25u);
        EXPECT_DOUBLE_EQ(result.tokenTimings->back().startTime, 222 * 0.08);
    }
}

TEST_F(ChunkProcessorParallelTest, TheChunkStartsFollowTheContextSettingAndTheModelVersion) {
    // A pause at frames 150 to 155 lies within reach of the first nominal boundary, frame 162.
    auto audio = AsrManagerTestModels::recording(300000);
    std::fill(audio.begin() + 150 * frameSamples, audio.begin() + 156 * frameSamples, 0.0f);
    const struct {
        const char* name;
        bool melChunkContext;
        bool dualDecodeArbitration;
        AsrModelVersion version;
        int secondWindowStart;
    } cases[] = {
        {"regular grid with context", true, true, AsrModelVersion::v3, 160},
        {"starts moved into the pause", false, false, AsrModelVersion::v3, 151},
        {"v2 takes the regular grid without arbitration", false, true, AsrModelVersion::v2, 162},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const auto script = models_.scriptWords(20, 140, 30);
        ChunkGate gate({});
        ASRConfig config;
        config.melChunkContext = testCase.melChunkContext;
        config.dualDecodeArbitration = testCase.dualDecodeArbitration;
        const auto recogniser = manager(config, script.vocabulary, gate, testCase.version);

        const ASRResult result = chunker(std::make_shared<const ArrayAudioSampleSource>(audio))
                                     .process(recogniser, std::chrono::steady_clock::now(), {}, std::nullopt);

        EXPECT_EQ(result.text, script.text);
        auto windows = models_.recordingWindows();
        windows.erase(windows.begin(), windows.end() - 2);
        std::ranges::sort(windows, {}, &AsrManagerTestModels::RecordingWindow::firstFrame);
        EXPECT_EQ(windows[0].firstFrame, 0);
        EXPECT_EQ(windows[1].firstFrame, testCase.secondWindowStart);
    }
}

// Chunk 0 is held (once it has arrived) while the transcription fails: it is cancelled and awaited before the
// error is thrown.
TEST_F(ChunkProcessorParallelTest, AFailureCancelsTheRunningChunksAndIsThrownAfterThem) {
    const auto recording = AsrManagerTestModels::recording(300000);
    using Source = std::shared_ptr<const AudioSampleSource>;
    const struct {
        const char* name;
        std::function<Source(ChunkGate&)> arrange;
        const char* error;
    } cases[] = {
        {"a chunk's decoding fails",
         [&](ChunkGate& gate) {
             gate.onArrival(1, [&gate] {
                 EXPECT_TRUE(gate.awaitArrival(0));
                 throw std::runtime_error("chunk 1 failed");
             });
             return std::make_shared<const ArrayAudioSampleSource>(recording);
         },
         "chunk 1 failed"},
        {"reading the next chunk fails",
         [&](ChunkGate& gate) {
             return std::make_shared<const FailingSampleSource>(recording, 250000,
                                                                [&gate] { EXPECT_TRUE(gate.awaitArrival(0)); });
         },
         "the disk went away"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ChunkGate gate(contextWindowStarts(2));
        gate.hold({0});
        const Source source = testCase.arrange(gate);
        const auto recogniser = manager(ASRConfig(), {}, gate);

        EXPECT_EQ(
            errorText([&] { chunker(source).process(recogniser, std::chrono::steady_clock::now(), {}, std::nullopt); }),
            testCase.error);

        const auto entries = gate.entries();
        const auto chunk0 = std::ranges::find(entries, 0, &ChunkGate::Entry::chunk);
        ASSERT_NE(chunk0, entries.end());
        EXPECT_EQ(chunk0->exit, ChunkGate::Exit::cancelled);
    }
}

TEST(ChunkHypothesisTokens, TakeEveryTokenOrFailWhenTheListsDisagree) {
    const TdtHypothesis hypothesis{
        .score = 1.7f,
        .ySequence = {5, 6},
        .decState = std::nullopt,
        .timestamps = {170, 171},
        .tokenDurations = {2, 1},
        .tokenConfidences = {0.9f, 0.8f},
        .lastToken = 6,
    };
    EXPECT_EQ(hypothesisTokens(hypothesis, 188),
              (std::vector<DecodedToken>{{.token = 5, .timestamp = 170, .confidence = 0.9f, .duration = 2},
                                         {.token = 6, .timestamp = 171, .confidence = 0.8f, .duration = 1}}));
    EXPECT_TRUE(hypothesisTokens(hypothesis, 0).empty());

    TdtHypothesis withoutDurations = hypothesis;
    withoutDurations.tokenDurations = {2};
    const auto tokens = hypothesisTokens(withoutDurations, 188);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].duration, 0);
    EXPECT_EQ(tokens[1].duration, 0);

    for (const auto& misalign : std::vector<std::function<void(TdtHypothesis&)>>{
             [](TdtHypothesis& broken) { broken.timestamps.pop_back(); },
             [](TdtHypothesis& broken) { broken.tokenConfidences.push_back(0.5f); }}) {
        TdtHypothesis broken = hypothesis;
        misalign(broken);
        EXPECT_EQ(errorText([&] { hypothesisTokens(broken, 188); }),
                  "ASR processing failed: Token, timestamp, and confidence arrays are misaligned");
    }
}

// Every thread of the shared pool runs a long transcription at once: their chunks must not wait for a free
// thread of that pool.
TEST_F(ChunkProcessorParallelTest, TranscriptionsFillingTheWholePoolStillFinish) {
    const auto script = models_.scriptWords(5, 230, 9);
    const auto models = models_.recordingModelSet(AsrModelVersion::v3, script.vocabulary);
    const std::size_t transcriptions = platform::core::ThreadPool::shared().threadCount() + 1;
    std::vector<std::string> texts(transcriptions);
    {
        platform::core::TaskGroup group;
        for (std::size_t index = 0; index < transcriptions; ++index) {
            group.spawn([&, index] {
                TdtDecoderState state = TdtDecoderState::make(2);
                texts[index] = AsrManager::create(withConcurrency(2), models)
                                   ->transcribe(AsrManagerTestModels::recording(300000), state)
                                   .text;
            });
        }
        group.waitAll();
    }
    EXPECT_EQ(texts, std::vector<std::string>(transcriptions, script.text));
}

} // namespace
} // namespace quorl
