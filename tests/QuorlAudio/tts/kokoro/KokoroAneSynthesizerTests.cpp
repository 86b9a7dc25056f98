#include "QuorlAudio/tts/kokoro/KokoroAneSynthesizer.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "platform/ml/DataType.hpp"
#include "tests/QuorlAudio/tts/kokoro/KokoroTest.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorl::testing {
namespace {

using Kind = KokoroAneError::Kind;
using platform::ml::DataType;
using Counts = std::vector<std::size_t>;

class KokoroAneSynthesizerTest : public KokoroTest {
protected:
    KokoroAneSynthesizerTest() : store(makeStore(KokoroAneVariant::english)) { store->loadIfNeeded(); }

    KokoroAneSynthesisResult synthesize(std::vector<std::int32_t> ids = {0, 1, 2, 3, 0}) {
        return KokoroAneSynthesizer::synthesize(
            {.inputIds = std::move(ids), .styleS = styleS, .styleTimbre = styleTimbre, .speed = 1.25F}, *store);
    }

    DataType inputType(KokoroAneStage stage, const std::string& name) {
        return repository.calls(stage).at(0).inputs.at(name).multiArrayValue()->dataType();
    }

    std::shared_ptr<KokoroAneModelStore> store;
    std::vector<float> styleS = std::vector<float>(128, 0.5F);
    std::vector<float> styleTimbre = std::vector<float>(128, 0.25F);
};

TEST_F(KokoroAneSynthesizerTest, RoundsDurationsHalfAwayFromZeroWithAtLeastOneFrame) {
    repository.durations = [](std::size_t) { return std::vector<float>{0.4F, 0.5F, 1.5F, 2.5F, -3.0F}; };

    const auto result = synthesize();

    EXPECT_EQ(inputValues(repository.calls(KokoroAneStage::alignment).at(0), "pred_dur"),
              (std::vector<double>{1, 1, 2, 3, 1}));
    EXPECT_EQ(result.acousticFrames, 8);
    EXPECT_EQ(result.encoderTokens, 5);
    EXPECT_EQ(result.sampleRate, 24000);
    EXPECT_EQ(result.samples, std::vector<float>(8 * KokoroTestRepository::samplesPerFrame, 0.5F));
    EXPECT_EQ(result.durationSeconds(), 32.0 / 24000.0);
    EXPECT_EQ(repository.callCounts(), (Counts{1, 1, 1, 1, 1, 1, 1}));
    EXPECT_GT(result.timings.tail, 0.0);
}

TEST_F(KokoroAneSynthesizerTest, TwoThousandFramesPassAndOneMoreStopsBeforeTheAlignment) {
    repository.durations = [](std::size_t) { return std::vector<float>{1000.0F, 1000.0F}; };
    EXPECT_EQ(synthesize().acousticFrames, 2000);

    repository.durations = [](std::size_t) { return std::vector<float>{1000.0F, 1000.6F}; };
    EXPECT_EQ(kokoroError([&] { synthesize(); }),
              kind(Kind::acousticFramesExceedCap,
                   "KokoroAne PostAlbert produced T_a=2001 frames > MAX_FRAMES=2000. Chunk the input."));
    EXPECT_EQ(repository.callCounts(), (Counts{2, 2, 1, 1, 1, 1, 1}));
}

TEST_F(KokoroAneSynthesizerTest, DurationsThatAreNoFrameCountAreRefused) {
    for (const float duration :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), 3.0e9F}) {
        repository.durations = [duration](std::size_t) { return std::vector<float>{1.0F, duration}; };
        const auto error = kokoroError([&] { synthesize(); });
        EXPECT_EQ(error.rfind(kind(Kind::unexpectedOutputShape, "KokoroAne stage 'postAlbert' returned unexpected "
                                                                "shape (expected finite durations within the 32-bit "
                                                                "range, got "),
                              0),
                  0u)
            << error;
    }
    EXPECT_TRUE(repository.calls(KokoroAneStage::alignment).empty());
}

TEST_F(KokoroAneSynthesizerTest, StyleVectorsOfTheWrongLengthFailBeforeAnyModel) {
    styleS.pop_back();
    styleTimbre.pop_back();
    EXPECT_EQ(kokoroError([&] { synthesize(); }),
              kind(Kind::invalidVoicePack, "KokoroAne voice pack is invalid: style_s must be length 128, got 127"));
    styleS.push_back(0);
    EXPECT_EQ(
        kokoroError([&] { synthesize(); }),
        kind(Kind::invalidVoicePack, "KokoroAne voice pack is invalid: style_timbre must be length 128, got 127"));
    EXPECT_EQ(repository.callCounts(), (Counts{0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(KokoroAneSynthesizerTest, ATailWithoutAudioAndAFailingStageAreNamed) {
    repository.tailAnswersAudio = false;
    EXPECT_EQ(kokoroError([&] { synthesize(); }),
              kind(Kind::unexpectedOutputShape,
                   "KokoroAne stage 'tail' returned unexpected shape (expected MLMultiArray for 'audio', got nil)."));

    repository.kernel(KokoroAneStage::prosody)
        .failPredictionsWith(std::make_exception_ptr(std::runtime_error("prosody broke")));
    EXPECT_EQ(kokoroError([&] { synthesize(); }),
              kind(Kind::predictionFailed, "KokoroAne stage 'prosody' failed: prosody broke"));
}

TEST_F(KokoroAneSynthesizerTest, CancellationStopsTheChainAndIsNeverAPredictionFailure) {
    platform::core::CancellationSource source;
    const platform::core::Task::Scope scope(source.token());
    repository.durations = [&source](std::size_t tokens) {
        source.cancel();
        return std::vector<float>(tokens, 1.0F);
    };
    EXPECT_THROW(synthesize(), platform::core::CancellationError);
    EXPECT_EQ(repository.callCounts(), (Counts{1, 1, 0, 0, 0, 0, 0}));

    const platform::core::Task::Scope uncancelled{platform::core::CancellationToken()};
    repository.kernel(KokoroAneStage::noise)
        .failPredictionsWith(std::make_exception_ptr(platform::core::CancellationError()));
    EXPECT_THROW(synthesize(), platform::core::CancellationError);
    EXPECT_EQ(repository.callCounts(), (Counts{2, 2, 1, 1, 1, 0, 0}));
}

TEST_F(KokoroAneSynthesizerTest, EveryStageReceivesDenseArraysOfItsContractTypes) {
    synthesize();

    struct Expected {
        KokoroAneStage stage;
        const char* input;
        DataType type;
    };
    const std::vector<Expected> table{
        {KokoroAneStage::postAlbert, "bert_dur", DataType::float16},
        {KokoroAneStage::postAlbert, "speed", DataType::float16},
        {KokoroAneStage::alignment, "d", DataType::float16},
        {KokoroAneStage::alignment, "t_en", DataType::float16},
        {KokoroAneStage::prosody, "en", DataType::float16},
        {KokoroAneStage::noise, "F0_curve", DataType::float32},
        {KokoroAneStage::noise, "style_timbre", DataType::float32},
        {KokoroAneStage::vocoder, "N_pred", DataType::float16},
        {KokoroAneStage::vocoder, "style_timbre", DataType::float16},
        {KokoroAneStage::tail, "x_pre", DataType::float32},
    };
    for (const auto& [stage, input, type] : table) {
        EXPECT_EQ(inputType(stage, input), type) << rawValue(stage) << " " << input;
    }
    const auto alignment = repository.calls(KokoroAneStage::alignment).at(0);
    EXPECT_EQ(inputValues(alignment, "d"), (std::vector<double>{0, 1, 10, 11, 20, 21, 30, 31, 40, 41}));
    EXPECT_EQ(inputValues(repository.calls(KokoroAneStage::prosody).at(0), "en"),
              (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(inputValues(repository.calls(KokoroAneStage::postAlbert).at(0), "speed"), std::vector<double>{1.25});
    EXPECT_EQ(inputValues(repository.calls(KokoroAneStage::albert).at(0), "attention_mask"),
              std::vector<double>(5, 1.0));
}

} // namespace
} // namespace quorl::testing
