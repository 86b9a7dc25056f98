#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3ModelStore.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Synthesizer.hpp"
#include "tests/QuorlAudio/tts/supertonic3/Supertonic3ScriptedSet.hpp"
#include "tests/QuorlAudio/tts/supertonic3/Supertonic3SetWriter.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::ml::ComputeUnits;
using platform::ml::MultiArray;
using testsupport::errorText;
using testsupport::valuesOf;
using Estimator = Supertonic3VectorEstimator;
using Shape = MultiArray::Shape;

// Every draw is 0.5, so every noise value is sqrt(-2 ln 0.5) × cos(π).
const float noiseValue = std::sqrt(-2.0F * std::log(0.5F)) * std::cos(6.283185F * 0.5F);

class Supertonic3SynthesizerTest : public ::testing::Test {
protected:
    Supertonic3Synthesizer synthesizer(const Estimator& estimator = Estimator::fp16Dynamic()) {
        const fs::path root = scratch.path() / "Models";
        models.write(root / "supertonic-3", estimator);
        auto store = std::make_shared<Supertonic3ModelStore>(root, ComputeUnits::cpuOnly, estimator);
        store->loadIfNeeded();
        std::vector<std::int64_t> indexer(0x1200);
        std::iota(indexer.begin(), indexer.end(), 0);
        return {store, Supertonic3UnicodeProcessor{.indexer = indexer}, [] { return 0.5F; }};
    }

    Supertonic3Synthesizer::Result infer(const Supertonic3Synthesizer& subject, int totalSteps = 1,
                                         float speed = 1.0F) const {
        return subject.infer(
            {.text = "Hello there.", .language = "en", .style = style, .totalSteps = totalSteps, .speed = speed});
    }

    static std::shared_ptr<MultiArray> input(const testsupport::ScriptedKernel& kernel, const std::string& name,
                                             std::size_t call = 0) {
        return kernel.calls().at(call).inputs.at(name).multiArrayValue();
    }

    std::size_t modelCalls() const {
        return models.durationPredictor.calls().size() + models.textEncoder.calls().size() +
               models.vectorEstimator.calls().size() + models.vocoder.calls().size();
    }

    testsupport::TemporaryFolder scratch;
    Supertonic3ScriptedSet models;
    Supertonic3VoiceStyle style = testsupport::supertonic3Style(0.5F);
};

TEST_F(Supertonic3SynthesizerTest, TwoSecondsFillTwentyNineFramesPaddedToTheBucketAndCutBackForTheVocoder) {
    models.durations = {2.0F};
    const auto result = infer(synthesizer(Estimator::defaultEstimator()));

    const auto noise = input(models.vectorEstimator, "noisy_latent");
    ASSERT_EQ(noise->shape(), (Shape{1, 144, 128}));
    const auto values = valuesOf(*noise);
    EXPECT_FLOAT_EQ(values[28], noiseValue);
    EXPECT_EQ(values[29], 0.0);
    EXPECT_FLOAT_EQ(values[128 + 28], noiseValue);
    EXPECT_EQ(values[128 + 29], 0.0);
    std::vector<double> mask(128, 0.0);
    std::fill_n(mask.begin(), 29, 1.0);
    EXPECT_EQ(valuesOf(*input(models.vectorEstimator, "latent_mask")), mask);
    EXPECT_EQ(input(models.vectorEstimator, "latent_mask")->shape(), (Shape{1, 1, 128}));

    const auto latent = input(models.vocoder, "latent");
    ASSERT_EQ(latent->shape(), (Shape{1, 144, 29}));
    EXPECT_FLOAT_EQ(static_cast<float>(valuesOf(*latent)[28]), noiseValue + 1.0F);
    EXPECT_EQ(result.samples.size(), 88200U);
    EXPECT_FLOAT_EQ(result.duration, 2.0F);
}

TEST_F(Supertonic3SynthesizerTest, TheSpeedDividesTheDurationAndNothingFallsUnderOneFrame) {
    const struct {
        const char* name;
        float predicted;
        float speed;
        float duration;
        std::size_t frames;
    } cases[] = {
        {"double speed", 2.0F, 2.0F, 1.0F, 15},       {"speed 0", 2.0F, 0.0F, 40.0F, 575},
        {"negative speed", 2.0F, -3.0F, 40.0F, 575},  {"very short", 0.01F, 1.0F, 0.05F, 1},
        {"exactly one frame", 0.05F, 1.0F, 0.05F, 1},
    };
    const auto subject = synthesizer();
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& c = cases[index];
        models.durations = {c.predicted};
        const auto result = infer(subject, 0, c.speed);
        EXPECT_FLOAT_EQ(result.duration, c.duration) << c.name;
        EXPECT_EQ(input(models.vocoder, "latent", index)->shape(), (Shape{1, 144, c.frames})) << c.name;
        EXPECT_EQ(result.samples.size(), static_cast<std::size_t>(c.duration * 44100.0F)) << c.name;
    }
}

TEST_F(Supertonic3SynthesizerTest, TheVocoderOutputIsCutToThePredictionButNeverPadded) {
    const struct {
        std::size_t wav;
        std::size_t kept;
    } cases[] = {{100'000, 66'150}, {50'000, 50'000}};
    const auto subject = synthesizer();
    models.durations = {1.5F};
    for (const auto& c : cases) {
        models.wavLength = c.wav;
        EXPECT_EQ(infer(subject).samples.size(), c.kept) << c.wav;
    }
}

TEST_F(Supertonic3SynthesizerTest, EachStepFeedsTheEstimatorsOutputBack) {
    const auto subject = synthesizer();
    infer(subject, 0);
    EXPECT_TRUE(models.vectorEstimator.calls().empty());
    EXPECT_FLOAT_EQ(static_cast<float>(valuesOf(*input(models.vocoder, "latent"))[0]), noiseValue);

    infer(subject, 8);
    const auto calls = models.vectorEstimator.calls();
    ASSERT_EQ(calls.size(), 8U);
    for (std::size_t step = 0; step < calls.size(); ++step) {
        EXPECT_EQ(valuesOf(*calls[step].inputs.at("current_step").multiArrayValue()),
                  std::vector<double>{static_cast<double>(step)});
        EXPECT_EQ(valuesOf(*calls[step].inputs.at("total_step").multiArrayValue()), std::vector<double>{8.0});
        EXPECT_FLOAT_EQ(static_cast<float>(valuesOf(*calls[step].inputs.at("noisy_latent").multiArrayValue())[0]),
                        noiseValue + static_cast<float>(step));
    }
    EXPECT_FLOAT_EQ(static_cast<float>(valuesOf(*input(models.vocoder, "latent", 1))[0]), noiseValue + 8.0F);
}

TEST_F(Supertonic3SynthesizerTest, TheModelsReceiveTheTaggedTextTheStyleAndTheEmbedding) {
    infer(synthesizer(), 1);
    const auto ids = valuesOf(*input(models.durationPredictor, "text_ids"));
    const std::string tagged = "<en>Hello there.</en>";
    ASSERT_EQ(ids.size(), 128U);
    for (std::size_t position = 0; position < tagged.size(); ++position) {
        EXPECT_EQ(ids[position], static_cast<double>(tagged[position])) << position;
    }
    EXPECT_EQ(ids[tagged.size()], 0.0);
    const auto mask = valuesOf(*input(models.textEncoder, "text_mask"));
    EXPECT_EQ(std::accumulate(mask.begin(), mask.end(), 0.0), static_cast<double>(tagged.size()));
    EXPECT_EQ(input(models.durationPredictor, "style_dp")->shape(), (Shape{1, 8, 16}));
    EXPECT_EQ(input(models.textEncoder, "style_ttl")->shape(), (Shape{1, 50, 256}));
    EXPECT_EQ(valuesOf(*input(models.vectorEstimator, "text_emb")), std::vector<double>(256 * 128, 0.25));
    EXPECT_EQ(valuesOf(*input(models.vectorEstimator, "text_mask")), mask);
}

TEST_F(Supertonic3SynthesizerTest, AStyleThatDoesNotFillItsShapeIsRefusedBeforeAnyModelRuns) {
    const auto subject = synthesizer();
    style.ttlValues.resize(12'544);
    EXPECT_EQ(errorText([&] { infer(subject); }),
              "Supertonic3 tensor tensor shape mismatch: expected [1, 50, 256], got len=12544 (Supertonic3 "
              "makeFloat32 tensor shape mismatch: expected 12800 (shape [1, 50, 256]), got 12544)");
    style = testsupport::supertonic3Style(0.5F);
    style.dpDims = {1, -8, 16};
    EXPECT_EQ(errorText([&] { infer(subject); }),
              "Supertonic3 tensor tensor shape mismatch: expected [1, -8, 16], got len=128 (negative dimension)");
    EXPECT_EQ(modelCalls(), 0U);
}

TEST_F(Supertonic3SynthesizerTest, SixHundredFramesNeedADynamicEstimator) {
    models.durations = {41.78F};
    EXPECT_EQ(errorText([&] { infer(synthesizer(Estimator::defaultEstimator())); }),
              "Supertonic3 vector_estimator inference failed: latent length 600 exceeds largest ANE bucket 512; use "
              "a dynamic VectorEstimator");
    EXPECT_TRUE(models.vectorEstimator.calls().empty());

    infer(synthesizer(Estimator::dynamic(Supertonic3Quantization::int8)));
    EXPECT_EQ(input(models.vectorEstimator, "noisy_latent")->shape(), (Shape{1, 144, 600}));
    EXPECT_EQ(input(models.vocoder, "latent")->shape(), (Shape{1, 144, 600}));
}

TEST_F(Supertonic3SynthesizerTest, FailuresAreNamedByTheirStage) {
    const struct {
        std::string omitted;
        std::string text;
    } missing[] = {
        {"duration", "Supertonic3 duration_predictor inference failed: missing 'duration' output"},
        {"text_emb", "Supertonic3 text_encoder inference failed: missing 'text_emb' output"},
        {"denoised_latent", "Supertonic3 vector_estimator inference failed: missing 'denoised_latent' output"},
        {"wav", "Supertonic3 vocoder inference failed: missing 'wav' output"},
    };
    const auto subject = synthesizer();
    for (const auto& c : missing) {
        models.omittedOutputs = {c.omitted};
        EXPECT_EQ(errorText([&] { infer(subject); }), c.text);
    }
    models.omittedOutputs.clear();

    models.durations = {NAN};
    EXPECT_EQ(errorText([&] { infer(subject); }),
              "Supertonic3 duration_predictor inference failed: duration is not a finite number");
    models.durations = {1.0F};
    models.vocoder.failPredictionsWith(std::make_exception_ptr(std::runtime_error("device lost")));
    EXPECT_EQ(errorText([&] { infer(subject); }), "Supertonic3 vocoder inference failed: device lost");
    EXPECT_EQ(errorText([&] { subject.infer({.text = "Hi", .language = "EN", .style = style}); }).substr(0, 43),
              "Supertonic3 unsupported language 'EN'. Avai");
}

} // namespace
} // namespace quorl
