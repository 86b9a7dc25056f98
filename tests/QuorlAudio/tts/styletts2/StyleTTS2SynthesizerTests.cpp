#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2ModelStore.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2NoiseSource.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Synthesizer.hpp"
#include "tests/QuorlAudio/tts/styletts2/StyleTTS2Fixtures.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace fixtures = styletts2fixtures;
using fixtures::kindAndText;
using platform::ml::ComputeUnits;
using testsupport::makeArray;
using testsupport::ScriptedKernel;
using Call = ScriptedKernel::Call;
using Outputs = ScriptedKernel::Outputs;
using Values = std::vector<double>;
using Shape = std::vector<std::size_t>;

constexpr std::size_t textChannels = 3;
constexpr std::size_t bertChannels = 2;
constexpr std::size_t dEnChannels = 4;
constexpr std::size_t durationChannels = 5;

Values filled(std::size_t count, const std::function<double(std::size_t)>& value) {
    Values values(count);
    for (std::size_t index = 0; index < count; ++index) {
        values[index] = value(index);
    }
    return values;
}

platform::ml::FeatureValue array(const Shape& shape, const std::function<double(std::size_t)>& value) {
    std::size_t count = 1;
    for (const auto dimension : shape) {
        count *= dimension;
    }
    return makeArray(shape, filled(count, value));
}

const Shape& shapeOf(const Call& call, const std::string& name) {
    return call.inputs.at(name).multiArrayValue()->shape();
}

Values valuesOf(const Call& call, const std::string& name) {
    return testsupport::valuesOf(*call.inputs.at(name).multiArrayValue());
}

Values asValues(const std::vector<float>& values) { return {values.begin(), values.end()}; }

// Honest stand-ins for the eight stages: each answers with arrays sized from its inputs, the way the real models
// do, and the test can bend one answer at a time.
class StyleTTS2SynthesizerTest : public ::testing::Test {
protected:
    StyleTTS2SynthesizerTest() {
        fixtures::writeBundles(repository, ModelNames::StyleTTS2::requiredModels());
        fixtures::writeBundles(repository, ModelNames::StyleTTS2::bucketModels(64));
        addKernel("text_encoder", [](const Call& call) {
            const auto tokens = shapeOf(call, "tokens")[1];
            return Outputs{{"t_en", array({1, textChannels, tokens}, [](std::size_t i) { return 0.5 * i; })}};
        });
        addKernel("bert", [this](const Call& call) {
            const auto length = shapeOf(call, "tokens")[1];
            return Outputs{
                {"bert_dur", array({1, length, bertChannels}, [](std::size_t i) { return i; })},
                {"d_en", array(dEnShape.value_or(Shape{1, dEnChannels, length}), [](std::size_t i) { return i; })}};
        });
        addKernel("ref_encoder", [](const Call&) {
            return Outputs{{"ref_s", array({1, 256}, [](std::size_t i) { return -1.0 - i; })}};
        });
        addKernel("fused_diffusion_sampler", [](const Call&) {
            return Outputs{{"s_pred", array({1, 256}, [](std::size_t i) { return 1000.0 + i; })}};
        });
        addKernel("duration_predictor", [this](const Call& call) {
            const auto tokens = shapeOf(call, "d_en")[2];
            return Outputs{{"d", array({1, tokens, durationChannels}, [](std::size_t i) { return i; })},
                           {"logits", array(logitsShape.value_or(Shape{1, tokens, framesPerToken}),
                                            [this](std::size_t) { return logit; })}};
        });
        addKernel("fused_f0n_har_source", [](const Call& call) {
            const auto frames = shapeOf(call, "en")[2];
            return Outputs{{"f0_pred", array({1, 2 * frames}, [](std::size_t) { return 1.0; })},
                           {"n_pred", array({1, 2 * frames}, [](std::size_t) { return 2.0; })},
                           {"source_har", array({1, 1, 300 * frames}, [](std::size_t) { return 3.0; })}};
        });
        addKernel("decoder_pre", [this](const Call& call) {
            const auto frames = shapeOf(call, "asr")[2];
            return Outputs{{"x_pre", array({1, 512, 2 * frames + extraXPreFrames}, [](std::size_t) { return 0.25; })}};
        });
        addKernel("decoder_upsample", [this](const Call&) {
            return Outputs{{"audio", array({1, audioSamples}, [](std::size_t i) { return i; })}};
        });
    }

    void addKernel(const std::string& stage, ScriptedKernel::Script script) {
        kernels.emplace(stage, ScriptedKernel(fixtures::kernelOf(stage), std::move(script)));
    }

    std::vector<float> synthesize(const std::vector<std::int32_t>& ids, float alpha = 0.3F, float beta = 0.7F,
                                  std::uint64_t seed = 7) {
        store.loadIfNeeded();
        return StyleTTS2Synthesizer(store).synthesize({.tokenIds = ids,
                                                       .referenceMel = referenceMel,
                                                       .referenceMelFrames = 3,
                                                       .alpha = alpha,
                                                       .beta = beta,
                                                       .noiseSeed = seed});
    }

    Call lastCall(const std::string& stage) const { return kernels.at(stage).calls().back(); }
    std::size_t callCount() const {
        std::size_t count = 0;
        for (const auto& [stage, kernel] : kernels) {
            count += kernel.calls().size();
        }
        return count;
    }

    testsupport::TemporaryFolder scratch;
    const fs::path root = scratch.path() / "Models";
    const fs::path repository = root / "styletts2";
    testsupport::RecordingLogSink sink;
    std::map<std::string, ScriptedKernel> kernels;
    StyleTTS2ModelStore store{root, ComputeUnits::all};
    std::vector<float> referenceMel = std::vector<float>(80 * 3, 0.5F);
    // A logit of 30 makes a sigmoid of 1: every token lasts framesPerToken frames.
    std::size_t framesPerToken = 40;
    double logit = 30.0;
    std::size_t audioSamples = 1000;
    std::size_t extraXPreFrames = 0;
    std::optional<Shape> dEnShape;
    std::optional<Shape> logitsShape;
};

TEST_F(StyleTTS2SynthesizerTest, EachStageGetsWhatTheStagesBeforeItGave) {
    const auto audio = synthesize({11, 12, 13});

    const auto encoder = lastCall("text_encoder");
    EXPECT_EQ(valuesOf(encoder, "tokens"), (Values{11, 12, 13}));
    EXPECT_EQ(valuesOf(encoder, "input_lengths"), Values{3});
    EXPECT_EQ(valuesOf(encoder, "text_mask"), Values(3, 0.0));

    const auto bert = lastCall("bert");
    Values tokens(57, 0.0);
    tokens[0] = 11;
    tokens[1] = 12;
    tokens[2] = 13;
    EXPECT_EQ(valuesOf(bert, "tokens"), tokens);
    EXPECT_EQ(valuesOf(bert, "attention_mask"), filled(57, [](std::size_t i) { return i < 3 ? 1.0 : 0.0; }));
    EXPECT_EQ(bert.inputs.at("tokens").multiArrayValue()->dataType(), platform::ml::DataType::int32);

    EXPECT_EQ(shapeOf(lastCall("ref_encoder"), "mel"), (Shape{1, 1, 80, 3}));
    const auto sampler = lastCall("fused_diffusion_sampler");
    EXPECT_EQ(shapeOf(sampler, "embedding"), (Shape{1, 57, bertChannels}));
    EXPECT_EQ(valuesOf(sampler, "embedding"), filled(57 * bertChannels, [](std::size_t i) { return i; }));
    EXPECT_EQ(valuesOf(sampler, "features"), filled(256, [](std::size_t i) { return -1.0 - i; }));

    // d_en keeps the first three of each row of 57.
    const auto duration = lastCall("duration_predictor");
    EXPECT_EQ(shapeOf(duration, "d_en"), (Shape{1, dEnChannels, 3}));
    EXPECT_EQ(valuesOf(duration, "d_en"), (Values{0, 1, 2, 57, 58, 59, 114, 115, 116, 171, 172, 173}));

    // Three tokens of 40 frames: 120 frames, each token's features repeated and shifted by one frame.
    const auto source = lastCall("fused_f0n_har_source");
    EXPECT_EQ(shapeOf(source, "en"), (Shape{1, durationChannels, 120}));
    const auto en = valuesOf(source, "en");
    EXPECT_EQ(en[0], 0.0);
    EXPECT_EQ(en[40], 0.0);
    EXPECT_EQ(en[41], 5.0);
    EXPECT_EQ(en[120 + 81], 11.0);
    const auto pre = lastCall("decoder_pre");
    EXPECT_EQ(shapeOf(pre, "asr"), (Shape{1, textChannels, 120}));
    EXPECT_EQ(valuesOf(pre, "asr")[120 + 41], 2.0);
    EXPECT_EQ(valuesOf(pre, "f0_pred"), Values(240, 1.0));
    EXPECT_EQ(valuesOf(pre, "n_pred"), Values(240, 2.0));
    const auto upsample = lastCall("decoder_upsample");
    EXPECT_EQ(shapeOf(upsample, "x_pre"), (Shape{1, 512, 240}));
    EXPECT_EQ(valuesOf(upsample, "har_source"), Values(36000, 3.0));

    EXPECT_EQ(asValues(audio), filled(950, [](std::size_t i) { return i; }));
    EXPECT_EQ(sink.messages("StyleTTS2Synthesizer"),
              std::vector<std::string>{"StyleTTS2 alignment: 3 tokens \u2192 120 frames"});
}

TEST_F(StyleTTS2SynthesizerTest, OneSeedFeedsTheSamplerTheSameNoiseOnEveryCall) {
    synthesize({1, 2}, 0.3F, 0.7F, 0);
    const auto first = lastCall("fused_diffusion_sampler");
    synthesize({1, 2}, 0.3F, 0.7F, 0xdeadbeefcafebabeULL);
    const auto second = lastCall("fused_diffusion_sampler");

    StyleTTS2NoiseSource expected(0);
    EXPECT_EQ(shapeOf(first, "noise_init"), (Shape{1, 1, 256}));
    EXPECT_EQ(shapeOf(first, "noises_aux"), (Shape{4, 1, 1, 256}));
    EXPECT_EQ(valuesOf(first, "noise_init"), asValues(expected.nextGaussianArray(256)));
    EXPECT_EQ(valuesOf(first, "noises_aux"), asValues(expected.nextGaussianArray(1024)));
    EXPECT_EQ(valuesOf(second, "noise_init"), valuesOf(first, "noise_init"));
    EXPECT_EQ(valuesOf(second, "noises_aux"), valuesOf(first, "noises_aux"));
}

TEST_F(StyleTTS2SynthesizerTest, AlphaAndBetaPickTheSampledOrTheReferenceStyle) {
    const auto sampled = filled(256, [](std::size_t i) { return 1000.0 + i; });
    const auto reference = filled(256, [](std::size_t i) { return -1.0 - i; });
    const struct {
        float weight;
        const Values& style;
    } cases[] = {{1.0F, sampled}, {0.0F, reference}};
    for (const auto& example : cases) {
        SCOPED_TRACE(example.weight);
        synthesize({5}, example.weight, example.weight);
        const Values first(example.style.begin(), example.style.begin() + 128);
        const Values second(example.style.begin() + 128, example.style.end());
        EXPECT_EQ(valuesOf(lastCall("decoder_pre"), "ref"), first);
        EXPECT_EQ(valuesOf(lastCall("decoder_upsample"), "ref"), first);
        EXPECT_EQ(valuesOf(lastCall("duration_predictor"), "s"), second);
        EXPECT_EQ(valuesOf(lastCall("fused_f0n_har_source"), "s"), second);
    }
}

TEST_F(StyleTTS2SynthesizerTest, LongerChunksUseTheBucketModelsAndTooLongOnesRunNothing) {
    synthesize(std::vector<std::int32_t>(57, 4));
    EXPECT_EQ(shapeOf(lastCall("bert"), "tokens"), (Shape{1, 57}));
    EXPECT_EQ(kernels.at("bert").loads().size(), 1u);

    synthesize(std::vector<std::int32_t>(58, 4));
    EXPECT_EQ(shapeOf(lastCall("bert"), "tokens"), (Shape{1, 64}));
    EXPECT_EQ(shapeOf(lastCall("fused_diffusion_sampler"), "embedding"), (Shape{1, 64, bertChannels}));
    EXPECT_EQ(kernels.at("bert").loads().back().bundlePath, repository / "bert_fp16_t64.mlmodelc");
    EXPECT_EQ(kernels.at("fused_diffusion_sampler").loads().back().bundlePath,
              repository / "fused_diffusion_sampler_fp16_t64.mlmodelc");

    const auto calls = callCount();
    EXPECT_EQ(
        kindAndText([&] { synthesize(std::vector<std::int32_t>(257, 4)); }, StyleTTS2Error::Kind::noBucketAvailable),
        "No StyleTTS2 token-axis bucket fits 257 tokens (max bucket = 256).");
    EXPECT_EQ(callCount(), calls);
}

TEST_F(StyleTTS2SynthesizerTest, TheLastFiftySamplesAreTrimmed) {
    const struct {
        std::size_t produced;
        std::size_t kept;
    } cases[] = {{30, 0}, {50, 0}, {51, 1}, {1000, 950}};
    for (const auto& example : cases) {
        SCOPED_TRACE(example.produced);
        audioSamples = example.produced;
        EXPECT_EQ(asValues(synthesize({1})), filled(example.kept, [](std::size_t i) { return i; }));
    }
}

TEST_F(StyleTTS2SynthesizerTest, OutputsThatDoNotFitTheirShapesAreRefusedBeforeTheyAreRead) {
    using Kind = StyleTTS2Error::Kind;
    const struct {
        const char* name;
        std::function<void()> bend;
        std::vector<std::int32_t> ids;
        Kind kind;
        std::string text;
    } cases[] = {
        {"no token",
         [] {},
         {},
         Kind::invalidTensorShape,
         "StyleTTS2 tokens tensor shape mismatch: expected [1, N] with N >= 1, got [1, 0]"},
        {"d_en for another length",
         [this] {
             dEnShape = Shape{1, dEnChannels, 56};
         },
         {1, 2},
         Kind::invalidTensorShape,
         "StyleTTS2 bert.d_en tensor shape mismatch: expected [1, C, 57], got [1, 4, 56]"},
        {"d_en of rank 2",
         [this] {
             dEnShape = Shape{4, 57};
         },
         {1, 2},
         Kind::invalidTensorShape,
         "StyleTTS2 bert.d_en tensor shape mismatch: expected [1, C, 57], got [4, 57]"},
        {"logits for another token count",
         [this] {
             logitsShape = Shape{1, 3, 40};
         },
         {1, 2},
         Kind::invalidTensorShape,
         "StyleTTS2 duration_logits tensor shape mismatch: expected [1, 2, C], got [1, 3, 40]"},
        {"logits of rank 2",
         [this] {
             logitsShape = Shape{2, 40};
         },
         {1, 2},
         Kind::invalidTensorShape,
         "StyleTTS2 duration_logits tensor shape mismatch: expected [1, T, C], got [2, 40]"},
        {"non-finite logits",
         [this] { logit = std::nan(""); },
         {1, 2},
         Kind::inferenceFailed,
         "StyleTTS2 duration_logits inference failed: non-finite logit for token 0"},
        {"decoder_pre of another size",
         [this] { extraXPreFrames = 1; },
         {1, 2},
         Kind::invalidTensorShape,
         "StyleTTS2 decoder_pre tensor shape mismatch: expected [1, 512, 160], got [1, 512, 161]"},
        {"a failed prediction",
         [this] {
             kernels.at("decoder_upsample").failPredictionsWith(std::make_exception_ptr(std::runtime_error("oom")));
         },
         {1},
         Kind::inferenceFailed,
         "StyleTTS2 decoder_upsample inference failed: oom"},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        dEnShape.reset();
        logitsShape.reset();
        logit = 30.0;
        extraXPreFrames = 0;
        example.bend();
        EXPECT_EQ(kindAndText([&] { synthesize(example.ids); }, example.kind), example.text);
    }
    EXPECT_EQ(kindAndText(
                  [&] {
                      StyleTTS2Synthesizer(store).synthesize({.tokenIds = std::vector<std::int32_t>{1},
                                                              .referenceMel = referenceMel,
                                                              .referenceMelFrames = 4});
                  },
                  Kind::invalidTensorShape),
              "StyleTTS2 ref_encoder.mel tensor shape mismatch: expected 80 x 4 values, got 240 values");
}

TEST_F(StyleTTS2SynthesizerTest, OutputsMissingOrOfAnotherCountAreInferenceFailures) {
    using Kind = StyleTTS2Error::Kind;
    auto twoOutputs = fixtures::manifestFor("fused_f0n_har_source.mlmodelc");
    twoOutputs["outputs"].erase(2);
    testsupport::writeModelBundle(repository, "fused_f0n_har_source.mlmodelc", twoOutputs);
    EXPECT_EQ(kindAndText([&] { synthesize({1}); }, Kind::inferenceFailed),
              "StyleTTS2 fused_f0n_har_source inference failed: expected 3 outputs, got 2");

    // Models bind their kernel when they load, so each bent stage is loaded afresh.
    fixtures::writeBundles(repository, {"fused_f0n_har_source.mlmodelc"});
    store.unload();
    kernels.erase("ref_encoder");
    addKernel("ref_encoder", [](const Call&) { return Outputs{}; });
    EXPECT_EQ(kindAndText([&] { synthesize({1}); }, Kind::inferenceFailed),
              "StyleTTS2 ref_encoder inference failed: no output value");

    store.unload();
    kernels.erase("bert");
    addKernel("bert", [](const Call& call) {
        return Outputs{{"bert_dur", array({1, shapeOf(call, "tokens")[1], 2}, [](std::size_t) { return 0.0; })}};
    });
    EXPECT_EQ(kindAndText([&] { synthesize({1}); }, Kind::inferenceFailed),
              "StyleTTS2 bert inference failed: missing output value(s)");
}

} // namespace
} // namespace quorl
