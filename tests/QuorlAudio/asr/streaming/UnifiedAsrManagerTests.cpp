#include "QuorlAudio/asr/streaming/UnifiedAsrManager.hpp"

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

constexpr const char* notInitialized = "AsrManager not initialized. Call initialize() first.";

// A quiet tone of `count` samples.
std::vector<float> tone(std::int64_t count) {
    std::vector<float> samples(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.1f * std::sin(0.05f * static_cast<float>(i % 12566));
    }
    return samples;
}

class UnifiedAsrManagerTest : public ::testing::Test {
protected:
    UnifiedAsrManagerTest() {
        recogniser.loadModels(models.folder());
        recogniser.setPartialTranscriptCallback([this](const std::string& text) { results.push_back(text); });
    }

    // The valid mel frames of every encoder call, one window each; every window is padded to 15 s.
    std::vector<double> windowMelLengths() {
        std::vector<double> lengths;
        for (const auto& call : models.encoder().calls()) {
            EXPECT_EQ(inputArray(call, "mel")->shape(), (std::vector<std::size_t>{1, 128, 1501}));
            lengths.push_back(inputArray(call, "mel_length")->value(0));
        }
        return lengths;
    }

    UnifiedTestModels models;
    UnifiedAsrManager recogniser;
    std::vector<std::string> results;
};

TEST_F(UnifiedAsrManagerTest, TenSecondsAreOneWindowDecodedFromAFreshState) {
    models.script(0, 3, {1, 2});
    models.script(0, 20, {3});
    EXPECT_EQ(recogniser.transcribe(tone(160000)), "hello world");
    EXPECT_EQ(windowMelLengths(), std::vector<double>{1000});
    const auto first = models.decoder().calls().front();
    EXPECT_EQ(inputArray(first, "targets")->value(0), 1024);
    EXPECT_EQ(inputArray(first, "h_in")->value(0), 0);
}

TEST_F(UnifiedAsrManagerTest, TwentySecondsAreTwoWindowsMergedWithTheOverlapOnce) {
    models.script(0, 10, {1, 2});
    // Global frame 170 lies in both windows: local 170 of the first, local 8 of the second (from frame 162).
    models.script(0, 170, {5});
    models.script(1, 8, {5});
    models.script(1, 50, {3});
    EXPECT_EQ(recogniser.transcribe(tone(320000)), "hello again world");
    EXPECT_EQ(windowMelLengths(), (std::vector<double>{1496, 704}));
}

TEST_F(UnifiedAsrManagerTest, OneSampleBeyondAWindowOpensASecondWindowHoldingTheOverlapAndIt) {
    EXPECT_EQ(recogniser.transcribe(tone(239361)), "");
    EXPECT_EQ(windowMelLengths(), (std::vector<double>{1496, 200}));
}

TEST_F(UnifiedAsrManagerTest, ABufferOfAnotherRateIsConvertedFirst) {
    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 48000, 1, false);
    auto buffer = platform::audio::PCMBuffer::make(*format, 48000);
    buffer->setFrameLength(48000);
    const auto samples = tone(48000);
    std::ranges::copy(samples, buffer->floatChannelData()[0]);
    models.script(0, 2, {3});
    EXPECT_EQ(recogniser.transcribe(*buffer), "world");
    EXPECT_EQ(windowMelLengths(), std::vector<double>{100});
}

TEST_F(UnifiedAsrManagerTest, ThroughTheProtocolAudioWaitsForFinishWhichKeepsItWhenItFails) {
    const auto second = tone(48000);
    recogniser.appendAudio(*monoBuffer(std::span(second).first(20000)));
    recogniser.appendAudio(*monoBuffer(std::span(second).subspan(20000)));
    recogniser.processBufferedAudio();
    EXPECT_TRUE(models.encoder().calls().empty());
    models.script(0, 5, {3});
    EXPECT_EQ(recogniser.finish(), "world");
    EXPECT_EQ(recogniser.getPartialTranscript(), "world");

    recogniser.appendAudio(*monoBuffer(tone(16000)));
    models.encoder().failPredictionsWith(std::make_exception_ptr(std::runtime_error("encoder down")));
    EXPECT_EQ(testsupport::errorText([&] { recogniser.finish(); }), "encoder down");
    EXPECT_EQ(recogniser.getPartialTranscript(), "world");
    models.encoder().failPredictionsWith(nullptr);
    models.script(2, 1, {1});
    EXPECT_EQ(recogniser.finish(), "he");
    EXPECT_EQ(windowMelLengths().back(), 100);

    EXPECT_EQ(recogniser.finish(), "");
    EXPECT_EQ(models.encoder().calls().size(), 3u);
    EXPECT_EQ(results, (std::vector<std::string>{"world", "he", ""}));
    recogniser.appendAudio(*monoBuffer(tone(16000)));
    recogniser.reset();
    EXPECT_EQ(recogniser.finish(), "");
}

TEST_F(UnifiedAsrManagerTest, ARecogniserWithoutModelsRefusesToTranscribe) {
    UnifiedAsrManager fresh;
    EXPECT_EQ(fresh.displayName(), "Parakeet Unified 0.6B (offline 15s batch)");
    EXPECT_EQ(testsupport::errorText([&] { fresh.transcribe(tone(1000)); }), notInitialized);
    recogniser.cleanup();
    EXPECT_EQ(testsupport::errorText([&] { recogniser.transcribe(tone(1000)); }), notInitialized);
    EXPECT_EQ(testsupport::errorText([&] { recogniser.finish(); }), notInitialized);
}

} // namespace
} // namespace quorl
