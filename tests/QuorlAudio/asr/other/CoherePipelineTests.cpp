#include "QuorlAudio/asr/other/CohereAsrError.hpp"
#include "QuorlAudio/asr/other/CoherePipeline.hpp"
#include "tests/QuorlAudio/asr/other/CohereTestModels.hpp"

#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

using Window = CoherePipeline::Window;

CohereMelSpectrogram::Config melConfig(int nMels = 128) {
    return {.sampleRate = 16000,
            .winLength = 400,
            .hopLength = 160,
            .nMels = nMels,
            .fMin = 0.0f,
            .fMax = 8000.0f,
            .preemph = 0.97f,
            .magPower = 2.0f,
            .logZeroGuard = 0x1p-24f,
            .cmvnEpsilon = 1e-5f};
}

const CohereDecodingOptions english{
    .language = CohereAsrConfig::Language::english, .maxNewTokens = 50, .repetitionPenalty = 1.0f, .noRepeatNgram = 0};

std::vector<float> tone(std::size_t samples) {
    std::vector<float> audio(samples);
    for (std::size_t index = 0; index < samples; ++index) {
        audio[index] = 0.3f * std::sin(0.07f * static_cast<float>(index)) * std::sin(1e-4f * static_cast<float>(index));
    }
    return audio;
}

int featureLengthOf(const testsupport::ScriptedKernel::Call& call) {
    return static_cast<int>(call.inputs.at("feature_length").multiArrayValue()->value(0));
}

class CoherePipelineTests : public testing::Test {
protected:
    CohereTestModels models{CohereTestModels::Settings{.vocabulary = {{40, "▁Guten"},
                                                                      {41, "▁Tag"},
                                                                      {42, "▁wie"},
                                                                      {43, "▁geht's"},
                                                                      {44, "<0xE2>"},
                                                                      {45, "<0x82>"},
                                                                      {46, "<0xAC>"}},
                                                       .cacheType = platform::ml::DataType::float16,
                                                       .encoderLength = 438}};
    CoherePipeline pipeline{CohereMelSpectrogram(melConfig())};
};

TEST_F(CoherePipelineTests, TranscribesOneWindow) {
    models.answer({{40, 41, 44, 45, 46}});
    const auto set = models.modelSet();
    const auto result = pipeline.transcribe(tone(16000), set, english);
    EXPECT_EQ(result.text, "Guten Tag€");
    EXPECT_EQ(result.tokenIds, (std::vector<int>{40, 41, 44, 45, 46}));
    EXPECT_GE(result.totalSeconds, result.encoderSeconds + result.decoderSeconds);
    EXPECT_GT(result.decoderSeconds, 0.0);

    const auto calls = models.encoder.calls();
    ASSERT_EQ(calls.size(), 1u);
    const auto features = calls[0].inputs.at("input_features").multiArrayValue();
    EXPECT_EQ(features->shape(), (platform::ml::MultiArray::Shape{1, 128, 3500}));
    EXPECT_EQ(featureLengthOf(calls[0]), 100);
    // Frames past the audio are zero; the mel itself reaches the encoder band by band.
    const auto mel = CohereMelSpectrogram(melConfig()).compute(tone(16000)).mel;
    for (const std::size_t band : {0u, 64u, 127u}) {
        EXPECT_FLOAT_EQ(features->at<float>({0, band, 7}), mel[band][7]);
        EXPECT_EQ(features->at<float>({0, band, 100}), 0.0f);
        EXPECT_EQ(features->at<float>({0, band, 3499}), 0.0f);
    }
    // 100 mel frames are ceil(100 * 438 / 3500) = 13 encoder frames.
    const auto steps = models.decoderSteps();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps[0].crossAttentionMask[12], 0.0);
    EXPECT_EQ(steps[0].crossAttentionMask[13], -10000.0);
    EXPECT_EQ(steps[0].attentionMaskShape, (platform::ml::MultiArray::Shape{1, 1, 1, 108}));
}

TEST_F(CoherePipelineTests, AudioShorterThanOneHopIsRefused) {
    const auto set = models.modelSet();
    for (const std::size_t samples : {0u, 159u}) {
        for (const bool isLong : {false, true}) {
            try {
                const auto audio = tone(samples);
                isLong ? pipeline.transcribeLong(audio, set, english) : pipeline.transcribe(audio, set, english);
                FAIL() << "nothing thrown for " << samples;
            } catch (const CohereAsrError& error) {
                EXPECT_EQ(error.kind(), CohereAsrError::Kind::invalidInput);
                EXPECT_STREQ(error.what(), "Invalid input: Audio too short to extract mel features");
            }
        }
    }
    EXPECT_TRUE(models.encoder.calls().empty());
    models.answer({{40}});
    EXPECT_EQ(pipeline.transcribe(tone(160), set, english).text, "Guten");
}

TEST_F(CoherePipelineTests, AudioPastOneWindowIsCutToItsFirst35Seconds) {
    models.answer({{42}});
    const auto set = models.modelSet();
    EXPECT_EQ(pipeline.transcribe(tone(600000), set, english).text, "wie");
    const auto calls = models.encoder.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(featureLengthOf(calls[0]), 3500);
    EXPECT_EQ(models.decoderSteps().front().crossAttentionMask, std::vector<double>(438, 0.0));
}

TEST_F(CoherePipelineTests, EncoderWithoutHiddenStatesFails) {
    models.omittedOutputs = {"hidden_states"};
    const auto set = models.modelSet();
    EXPECT_EQ(testsupport::errorText([&] { pipeline.transcribe(tone(16000), set, english); }),
              "Encoding failed: Encoder output missing 'hidden_states'");
}

TEST_F(CoherePipelineTests, EncoderValidFramesScaleTheFeatureLength) {
    const struct {
        int featureLength;
        int encoderSeqLen;
        int valid;
    } cases[] = {{3500, 438, 438}, {1, 438, 1}, {1000, 438, 126}, {0, 438, 1}, {3500, 400, 400}, {3499, 438, 438}};
    for (const auto& example : cases) {
        EXPECT_EQ(CoherePipeline::encoderValidFrames(example.featureLength, example.encoderSeqLen, 3500, 438),
                  example.valid)
            << example.featureLength;
    }
}

TEST_F(CoherePipelineTests, LongAudioWindowsStepThirtySecondsUntilTheEnd) {
    const auto windows = [](std::size_t samples) { return CoherePipeline::longAudioWindows(samples); };
    const auto same = [](const std::vector<Window>& actual, const std::vector<Window>& expected) {
        return actual.size() == expected.size() &&
               std::equal(actual.begin(), actual.end(), expected.begin(),
                          [](const Window& a, const Window& b) { return a.start == b.start && a.end == b.end; });
    };
    EXPECT_TRUE(same(windows(560001), {{0, 560000}, {480000, 560001}}));
    EXPECT_TRUE(same(windows(1040000), {{0, 560000}, {480000, 1040000}}));
    EXPECT_TRUE(same(windows(1040001), {{0, 560000}, {480000, 1040000}, {960000, 1040001}}));
    for (const std::size_t samples : {560001u, 1000000u, 2000000u, 4800001u}) {
        const auto all = windows(samples);
        const auto expectedCount = 1 + (samples - 560000 + 479999) / 480000;
        EXPECT_EQ(all.size(), expectedCount) << samples;
        EXPECT_EQ(all.back().end, samples);
        EXPECT_GT(all.back().end - all.back().start, 80000u);
    }
}

TEST_F(CoherePipelineTests, LongAudioMergesTheWindowsTokenStreams) {
    // Window 1 repeats the last four tokens of window 0; window 2 shares only two tokens with the stream, too
    // few to count as overlap, so they stay.
    models.answer({{40, 41, 42, 43, 41}, {41, 42, 43, 41, 40}, {40, 41, 44, 45, 46}});
    const auto set = models.modelSet();
    const auto result = pipeline.transcribeLong(tone(1040001), set, english);
    EXPECT_EQ(result.tokenIds, (std::vector<int>{40, 41, 42, 43, 41, 40, 40, 41, 44, 45, 46}));
    EXPECT_EQ(result.text, "Guten Tag wie geht's Tag Guten Guten Tag€");
    const auto calls = models.encoder.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(featureLengthOf(calls[0]), 3500);
    EXPECT_EQ(featureLengthOf(calls[1]), 3500);
    EXPECT_EQ(featureLengthOf(calls[2]), 500); // [960000, 1040001): 80001 samples
}

TEST_F(CoherePipelineTests, LongAudioOfOneWindowIsOneTranscription) {
    models.answer({{40, 41}});
    const auto set = models.modelSet();
    EXPECT_EQ(pipeline.transcribeLong(tone(560000), set, english).text, "Guten Tag");
    ASSERT_EQ(models.encoder.calls().size(), 1u);
    EXPECT_EQ(featureLengthOf(models.encoder.calls()[0]), 3500);
}

TEST_F(CoherePipelineTests, AFailingWindowFailsTheLongTranscription) {
    // Windows are numbered by encoder call: the second attempt decodes windows 2 and 3.
    models.answer({{}, {}, {40}, {41}});
    const auto set = models.modelSet();
    models.scores = [](int window, int) {
        if (window == 1) {
            throw std::runtime_error("decoder failed in window 1");
        }
        std::vector<float> scores(CohereTestModels::vocabularyWidth, 0.0f);
        scores[3] = 1.0f;
        return scores;
    };
    EXPECT_EQ(testsupport::errorText([&] { pipeline.transcribeLong(tone(600000), set, english); }),
              "decoder failed in window 1");
    models.scores = nullptr;
    EXPECT_EQ(pipeline.transcribeLong(tone(600000), set, english).text, "Guten Tag");
}

TEST(CoherePipelineConstructionTests, TheFrontEndMustMakeTheEncodersBands) {
    EXPECT_THROW(CoherePipeline{CohereMelSpectrogram(melConfig(80))}, std::invalid_argument);
}

} // namespace
} // namespace quorl
