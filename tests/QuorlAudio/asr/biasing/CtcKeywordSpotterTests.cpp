#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/biasing/CtcKeywordSpotter.hpp"
#include "platform/ml/Model.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace ml = platform::ml;
using testsupport::makeArray;
using testsupport::ScriptedKernel;
using Rows = CtcKeywordSpotter::Rows;

constexpr std::size_t fullWindowFrames = 188;
constexpr std::size_t vocabularySize = 3;

// Raw logits of frame t of the prediction numbered `call`: distinct per frame and per window.
std::vector<double> logitsOf(std::size_t call, std::size_t t) {
    return {0.1 * static_cast<double>(t % 7), 0.5 * static_cast<double>(call), 1.0};
}

// A CTC set whose mel model answers with features of `melShape` (plus "mel_length" when given) and whose
// encoder answers with `frames` rows of logits on the named output, in rank 3 or rank 4 layout.
class CtcKeywordSpotterTest : public testing::Test {
protected:
    struct Script {
        std::vector<std::size_t> melShape{1, 80, 1500};
        std::optional<std::int64_t> melLength = std::nullopt;
        std::size_t frames = fullWindowFrames;
        std::string outputName = "ctc_head_raw_output";
        bool rank4 = false;
        std::vector<std::size_t> audioShape{1, 240000};
    };

    CtcKeywordSpotter spotter(const Script& script) {
        script_ = script;
        const auto mel = testsupport::writeModelBundle(
            folder.path(), "Mel.mlmodelc",
            testsupport::modelManifest(melKernel.name(),
                                       {testsupport::multiArrayFeature("audio", script.audioShape),
                                        testsupport::multiArrayFeature("audio_length", {1}, ml::DataType::int32)},
                                       {testsupport::multiArrayFeature("melspectrogram_features", script.melShape)}));
        const auto encoder = testsupport::writeModelBundle(
            folder.path(), "Encoder.mlmodelc",
            testsupport::modelManifest(encoderKernel.name(),
                                       {testsupport::multiArrayFeature("melspectrogram_features", script.melShape),
                                        testsupport::multiArrayFeature("mel_length", {1}, ml::DataType::int32)},
                                       {}));
        CtcModels models;
        models.melSpectrogram = ml::Model::load(mel);
        models.encoder = ml::Model::load(encoder);
        return CtcKeywordSpotter(models, static_cast<std::int64_t>(vocabularySize) - 1);
    }

    ScriptedKernel::Outputs melOutputs() const {
        std::size_t count = 1;
        for (const auto dimension : script_.melShape) {
            count *= dimension;
        }
        ScriptedKernel::Outputs outputs{
            {"melspectrogram_features", makeArray(script_.melShape, std::vector<double>(count, 0.0))}};
        if (script_.melLength) {
            outputs.emplace("mel_length",
                            makeArray({1}, {static_cast<double>(*script_.melLength)}, ml::DataType::int32));
        }
        return outputs;
    }

    ScriptedKernel::Outputs encoderOutputs(std::size_t call) const {
        const std::size_t t = script_.frames;
        std::vector<double> values(t * vocabularySize);
        for (std::size_t frame = 0; frame < t; ++frame) {
            const auto logits = logitsOf(call, frame);
            for (std::size_t v = 0; v < vocabularySize; ++v) {
                values[script_.rank4 ? v * t + frame : frame * vocabularySize + v] = logits[v];
            }
        }
        const std::vector<std::size_t> shape = script_.rank4 ? std::vector<std::size_t>{1, vocabularySize, 1, t}
                                                             : std::vector<std::size_t>{1, t, vocabularySize};
        return {{script_.outputName, makeArray(shape, values)}};
    }

    static std::vector<float> expectedRow(std::size_t call, std::size_t t) {
        const auto logits = logitsOf(call, t);
        return CtcKeywordSpotter::applyLogSoftmax({std::vector<float>(logits.begin(), logits.end())}, 2, 1.0f, 0.0f)
            .front();
    }

    testsupport::TemporaryFolder folder;
    Script script_;
    ScriptedKernel melKernel{"ctc-spotter-mel", [this](const ScriptedKernel::Call&) { return melOutputs(); }};
    ScriptedKernel encoderKernel{"ctc-spotter-encoder",
                                 [this](const ScriptedKernel::Call& call) { return encoderOutputs(call.index); }};
};

void expectRowsNear(const std::vector<float>& actual, const std::vector<float>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], 1e-5) << i;
    }
}

TEST(CtcKeywordSpotterSoftmaxTest, NormalisesRowsAndBiasesOnlyAnExistingBlank) {
    const Rows equal = CtcKeywordSpotter::applyLogSoftmax({{0.0f, 0.0f}}, 1, 2.0f, 0.0f);
    expectRowsNear(equal.front(), {-0.6931472f, -0.6931472f});

    const Rows raw{{1.0f, 2.0f, 3.0f}, {}};
    const Rows plain = CtcKeywordSpotter::applyLogSoftmax(raw, 3, 1.0f, 5.0f);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_TRUE(plain[1].empty());
    float total = 0.0f;
    for (const float value : plain[0]) {
        total += std::exp(value);
    }
    EXPECT_NEAR(total, 1.0f, 1e-6);

    const Rows biased = CtcKeywordSpotter::applyLogSoftmax(raw, 2, 1.0f, 0.5f);
    EXPECT_NEAR(biased[0][2], plain[0][2] - 0.5f, 1e-6);
    EXPECT_FLOAT_EQ(biased[0][0], plain[0][0]);

    const Rows halved = CtcKeywordSpotter::applyLogSoftmax(raw, 2, 2.0f, 0.0f);
    expectRowsNear(halved[0], CtcKeywordSpotter::applyLogSoftmax({{0.5f, 1.0f, 1.5f}}, 2, 1.0f, 0.0f)[0]);
}

TEST_F(CtcKeywordSpotterTest, OneWindowKeepsTheRowsOfTheRealAudio) {
    const auto spotter_ = spotter({});
    struct Case {
        std::size_t samples;
        std::int64_t rows;
        double frameDuration;
    };
    for (const auto& [samples, rows, frameDuration] :
         {Case{80000, 63, 80000.0 / 63 / 16000}, Case{240000, 188, 240000.0 / 188 / 16000}, Case{1, 1, 1.0 / 16000}}) {
        const std::vector<float> audio(samples, 0.25f);
        const auto result = spotter_.computeWithStagedModels(audio);
        EXPECT_EQ(result.totalFrames, rows) << samples;
        EXPECT_EQ(static_cast<std::int64_t>(result.logProbs.size()), rows);
        EXPECT_DOUBLE_EQ(result.frameDuration, frameDuration);
        EXPECT_EQ(result.audioSamplesUsed, static_cast<std::int64_t>(samples));
    }
    const auto calls = melKernel.calls();
    ASSERT_EQ(calls.size(), 3u);
    const auto audio = testsupport::valuesOf(*calls.back().inputs.at("audio").multiArrayValue());
    ASSERT_EQ(audio.size(), 240000u);
    EXPECT_FLOAT_EQ(static_cast<float>(audio[0]), 0.25f);
    EXPECT_EQ(audio[1], 0.0) << "the window past the audio is zero-filled";
    EXPECT_EQ(audio.back(), 0.0);
    EXPECT_EQ(calls.back().inputs.at("audio_length").multiArrayValue()->value(0), 1.0);
    const auto encoderCall = encoderKernel.calls().back();
    EXPECT_EQ(encoderCall.inputs.at("mel_length").multiArrayValue()->value(0), 1500.0);
    EXPECT_EQ(encoderCall.inputs.at("input_1").multiArrayValue()->value(0), 1.0);
}

TEST_F(CtcKeywordSpotterTest, ReadsRankThreeAndRankFourOutputsAlike) {
    const std::vector<float> audio(240000, 0.0f);
    for (const auto& [outputName, rank4] :
         {std::pair{std::string("ctc_head_raw_output"), false}, std::pair{std::string("ctc_head_output"), true}}) {
        const auto result =
            spotter({.frames = 4, .outputName = outputName, .rank4 = rank4}).computeWithStagedModels(audio);
        ASSERT_EQ(result.logProbs.size(), 4u) << outputName;
        for (std::size_t t = 0; t < 4; ++t) {
            expectRowsNear(result.logProbs[t], expectedRow(encoderKernel.calls().back().index, t));
        }
    }
}

TEST_F(CtcKeywordSpotterTest, TakesTheMelLengthFromFourDimensionalFeaturesShape) {
    const std::vector<float> audio(16000, 0.0f);
    spotter({.melShape = {1, 1, 1500, 80}, .melLength = 7}).computeWithStagedModels(audio);
    EXPECT_EQ(encoderKernel.calls().back().inputs.at("mel_length").multiArrayValue()->value(0), 1500.0);
    spotter({.melLength = 7}).computeWithStagedModels(audio);
    EXPECT_EQ(encoderKernel.calls().back().inputs.at("mel_length").multiArrayValue()->value(0), 7.0);
}

TEST_F(CtcKeywordSpotterTest, ReportsMalformedModelOutputs) {
    const std::vector<float> audio(16000, 0.0f);
    struct Case {
        Script script;
        std::string message;
    };
    for (const auto& [script, message] :
         {Case{{.outputName = "logits"},
               "ASR processing failed: Missing CTC head output from encoder model (expected ctc_head_raw_output "
               "or ctc_head_output)"},
          Case{{.melLength = 0}, "ASR processing failed: Invalid mel_length for CTC encoder input"}}) {
        EXPECT_EQ(testsupport::errorText([&] { spotter(script).computeWithStagedModels(audio); }), message);
    }
}

TEST_F(CtcKeywordSpotterTest, OverlappingWindowsMergeTheirSeams) {
    const auto spotter_ = spotter({});
    struct Case {
        std::size_t samples;
        std::size_t windows;
        std::int64_t rows;
    };
    for (const auto& [samples, windows, rows] :
         {Case{500000, 3, 392}, Case{240001, 2, 189}, Case{448000, 2, 188 + 163}}) {
        const std::size_t before = encoderKernel.calls().size();
        const auto result = spotter_.computeLogProbsChunked(std::vector<float>(samples, 0.0f));
        EXPECT_EQ(encoderKernel.calls().size() - before, windows) << samples;
        EXPECT_EQ(result.totalFrames, rows) << samples;
        EXPECT_EQ(result.audioSamplesUsed, static_cast<std::int64_t>(samples));
        EXPECT_DOUBLE_EQ(result.frameDuration, 240000.0 / 188 / 16000);
    }
    // The last run, 448000 samples: row 163 (= 188 - 25) averages first window's row 163 with the second's row 0.
    const auto result = spotter_.computeLogProbsChunked(std::vector<float>(448000, 0.0f));
    const std::size_t first = encoderKernel.calls().size() - 2;
    const auto a = expectedRow(first, 163);
    const auto b = expectedRow(first + 1, 0);
    std::vector<float> mean;
    for (std::size_t v = 0; v < vocabularySize; ++v) {
        mean.push_back(std::log((std::exp(a[v]) + std::exp(b[v])) / 2.0f));
    }
    expectRowsNear(result.logProbs[163], mean);
    expectRowsNear(result.logProbs[162], expectedRow(first, 162));
    expectRowsNear(result.logProbs[188], expectedRow(first + 1, 25));
}

TEST_F(CtcKeywordSpotterTest, AFirstWindowWithoutRowsGivesAnEmptyMatrix) {
    const auto result = spotter({.frames = 0}).computeLogProbsChunked(std::vector<float>(300000, 0.0f));
    EXPECT_TRUE(result.logProbs.empty());
    EXPECT_EQ(result.frameDuration, 0.0);
    EXPECT_EQ(result.totalFrames, 0);
    EXPECT_EQ(result.audioSamplesUsed, 0);
}

} // namespace
} // namespace quorl
