#include "QuorlAudio/asr/streaming/StreamingUnifiedAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "ScriptedCallArrays.hpp"
#include "StreamingTestAudio.hpp"
#include "UnifiedTestModels.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

constexpr std::int64_t firstWindowSamples = 33280;
constexpr std::int64_t stepSamples = 16640;
constexpr const char* notInitialized = "AsrManager not initialized. Call initialize() first.";
constexpr double frameSeconds = 1280 / 16000.0;

// Where encoder frame `frame` of the stream starts, in seconds.
double seconds(std::int64_t frame) { return static_cast<double>(frame * 1280) / 16000.0; }

class StreamingUnifiedAsrManagerTest : public ::testing::Test {
protected:
    StreamingUnifiedAsrManagerTest() {
        engine.loadModels(models.folder());
        engine.setPartialTranscriptCallback([this](const std::string& transcript) { partials.push_back(transcript); });
    }

    // Samples [fed, fed + count) of a quiet tone in buffers of varying size, processing after each buffer.
    void feed(std::int64_t count) {
        static constexpr std::int64_t bufferSizes[] = {1000, 7919, 333, 4096, 12000, 2711};
        for (std::size_t buffer = 0; count > 0; ++buffer) {
            const std::int64_t size = std::min(count, bufferSizes[buffer % std::size(bufferSizes)]);
            std::vector<float> samples(static_cast<std::size_t>(size));
            for (auto& sample : samples) {
                sample = 0.1f * std::sin(0.05f * static_cast<float>(fed++ % 12566));
            }
            engine.appendAudio(*monoBuffer(samples));
            engine.processBufferedAudio();
            count -= size;
        }
    }

    // The valid mel frames of every encoder call: one window each.
    std::vector<double> windowMelLengths() {
        std::vector<double> lengths;
        for (const auto& call : models.encoder().calls()) {
            lengths.push_back(inputArray(call, "mel_length")->value(0));
        }
        return lengths;
    }

    UnifiedTestModels models;
    StreamingUnifiedAsrManager engine;
    std::vector<std::string> partials;
    std::int64_t fed = 0;
};

TEST_F(StreamingUnifiedAsrManagerTest, AStreamInIrregularBuffersGivesItsTokensTimingsAndFinalFlush) {
    models.script(0, 5, {1, 2});
    models.script(1, 20, {3});
    // Look-ahead of the second window: the final window decodes that frame, not this one.
    models.script(1, 30, {5});
    models.script(2, 40, {4});

    feed(24000);
    EXPECT_TRUE(models.encoder().calls().empty()) << "1.5 s is less than the first window";
    feed(firstWindowSamples - 24000);
    EXPECT_EQ(windowMelLengths(), std::vector<double>{208});
    feed(56000 - firstWindowSamples);
    EXPECT_EQ(windowMelLengths(), (std::vector<double>{208, 312}));
    EXPECT_EQ(engine.getPartialTranscript(), "hello world");

    EXPECT_EQ(engine.finish(), "hello world!");
    EXPECT_EQ(windowMelLengths(), (std::vector<double>{208, 312, 350}));
    EXPECT_EQ(partials, (std::vector<std::string>{"hello", "hello world", "hello world!"}));
    // Two tokens of one frame: the first ends where the second starts.
    EXPECT_EQ(engine.consumeTokenTimings(), (std::vector<TokenTiming>{
                                                {" he", 1, seconds(5), seconds(5), 0.1f},
                                                {"llo", 2, seconds(5), seconds(5) + frameSeconds, 0.2f},
                                                {" world", 3, seconds(20), seconds(20) + frameSeconds, 0.3f},
                                                {"!", 4, seconds(40), seconds(40) + frameSeconds, 0.4f},
                                            }));
    EXPECT_TRUE(engine.consumeTokenTimings().empty());
}

TEST_F(StreamingUnifiedAsrManagerTest, LaterWindowsReencodeSeventyFramesOfLeftContextAndDecodeOnlyTheChunk) {
    // Window 7 (call 6) holds frames 8 ... 103; its chunk is local frames 70 ... 82.
    models.script(6, 69, {5});
    models.script(6, 70, {1});
    models.script(6, 82, {2});
    models.script(6, 83, {3});
    feed(firstWindowSamples + 6 * stepSamples);
    ASSERT_EQ(models.encoder().calls().size(), 7u);
    EXPECT_EQ(windowMelLengths().back(), 768);
    EXPECT_EQ(engine.getPartialTranscript(), "hello");
    const auto timings = engine.consumeTokenTimings();
    ASSERT_EQ(timings.size(), 2u);
    EXPECT_EQ(timings[0].startTime, seconds(78));
    EXPECT_EQ(timings[1].startTime, seconds(90));
}

TEST_F(StreamingUnifiedAsrManagerTest, FinishDecodesWhatProcessingWouldAndThenNothingMoreUntilReset) {
    EXPECT_EQ(engine.finish(), "");
    EXPECT_TRUE(models.encoder().calls().empty());
    engine.reset();

    models.script(0, 12, {1});
    models.script(1, 13, {2});
    models.script(1, 30, {3});
    feed(48000);
    // The final window ends at the last sample and decodes its look-ahead too.
    EXPECT_EQ(engine.finish(), "hello world");
    feed(stepSamples * 2);
    EXPECT_EQ(engine.finish(), "hello world");
    EXPECT_EQ(models.encoder().calls().size(), 2u);

    engine.reset();
    EXPECT_EQ(engine.getPartialTranscript(), "");
    models.script(2, 0, {5});
    fed = 0;
    feed(firstWindowSamples);
    EXPECT_EQ(engine.getPartialTranscript(), "again");
    // The new stream decodes from the blank on fresh states.
    const auto decoderCalls = models.decoder().calls();
    const auto& firstOfStream = decoderCalls[decoderCalls.size() - 2];
    EXPECT_EQ(inputArray(firstOfStream, "targets")->value(0), 1024);
    EXPECT_EQ(inputArray(firstOfStream, "h_in")->value(0), 0);
}

TEST_F(StreamingUnifiedAsrManagerTest, WordTimingsGroupThePendingTokens) {
    models.script(0, 2, {1, 2});
    models.script(0, 6, {3});
    feed(firstWindowSamples);
    const auto words = engine.consumeWordTimings();
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0].word, "hello");
    EXPECT_EQ(words[1].word, "world");
    EXPECT_TRUE(engine.consumeTokenTimings().empty());
}

TEST_F(StreamingUnifiedAsrManagerTest, TokensOfAWindowWhoseDecodingFailedComeWithTheNextWindow) {
    models.script(1, 15, {1});
    models.script(2, 15, {2});
    feed(firstWindowSamples);
    models.joint().failPredictionsWith(std::make_exception_ptr(std::runtime_error("joint down")));
    engine.appendAudio(*monoBuffer(std::vector<float>(stepSamples, 0.05f)));
    EXPECT_EQ(testsupport::errorText([&] { engine.processBufferedAudio(); }), "joint down");
    models.joint().failPredictionsWith(nullptr);
    engine.appendAudio(*monoBuffer(std::vector<float>(stepSamples, 0.05f)));
    engine.processBufferedAudio();
    // Frame 15 lies in both windows; the second decodes it again after the first failed.
    EXPECT_EQ(engine.getPartialTranscript(), "llo");
}

TEST_F(StreamingUnifiedAsrManagerTest, AStreamGoesOnAfterMoreFailedWindowsThanItsLeftContextHolds) {
    feed(firstWindowSamples);
    models.encoder().failPredictionsWith(std::make_exception_ptr(std::runtime_error("encoder down")));
    engine.appendAudio(*monoBuffer(std::vector<float>(7 * stepSamples, 0.05f)));
    for (int window = 2; window <= 8; ++window) {
        EXPECT_EQ(testsupport::errorText([&] { engine.processBufferedAudio(); }), "encoder down");
    }
    models.encoder().failPredictionsWith(nullptr);
    engine.appendAudio(*monoBuffer(std::vector<float>(stepSamples, 0.05f)));
    // Window 9 starts at frame 34, past frame 13 where decoding stopped: it goes on from its own first frame.
    models.script(8, 0, {5});
    engine.processBufferedAudio();
    EXPECT_EQ(engine.getPartialTranscript(), "again");
    EXPECT_EQ(engine.consumeTokenTimings().at(0).startTime, seconds(34));
}

TEST_F(StreamingUnifiedAsrManagerTest, AnEngineWithoutModelsRefusesToDecode) {
    StreamingUnifiedAsrManager fresh;
    EXPECT_EQ(fresh.displayName(), "Parakeet Unified 0.6B (2080ms)");
    fresh.appendAudio(*monoBuffer(std::vector<float>(40000, 0.1f)));
    EXPECT_EQ(testsupport::errorText([&] { fresh.processBufferedAudio(); }), notInitialized);
    EXPECT_EQ(testsupport::errorText([&] { fresh.finish(); }), notInitialized);

    engine.cleanup();
    EXPECT_EQ(testsupport::errorText([&] { engine.processBufferedAudio(); }), notInitialized);
    engine.loadModels(models.folder());
    feed(firstWindowSamples);
    EXPECT_EQ(models.encoder().calls().size(), 1u);
}

} // namespace
} // namespace quorl
