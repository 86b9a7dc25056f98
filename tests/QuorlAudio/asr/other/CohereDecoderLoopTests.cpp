#include "QuorlAudio/asr/other/CohereAsrError.hpp"
#include "QuorlAudio/asr/other/CohereDecoderLoop.hpp"
#include "QuorlAudio/asr/other/CohereScoreRules.hpp"
#include "tests/QuorlAudio/asr/other/CohereTestModels.hpp"

#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

using Language = CohereAsrConfig::Language;
using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr int eos = CohereAsrConfig::SpecialTokens::eosToken;

CohereDecodingOptions options(int maxNewTokens, float repetitionPenalty = 1.0f, int noRepeatNgram = 0) {
    return {.language = Language::german,
            .maxNewTokens = maxNewTokens,
            .repetitionPenalty = repetitionPenalty,
            .noRepeatNgram = noRepeatNgram};
}

class CohereDecoderLoopTests : public testing::Test {
protected:
    std::vector<int> decode(const CohereDecodingOptions& decoding,
                            CohereDecoderVariant variant = CohereDecoderVariant::v2, int validFrames = 300) {
        const auto set = models.modelSet(variant);
        const CohereEncodedAudio encoded{
            .hiddenStates = std::make_shared<MultiArray>(MultiArray::Shape{1, 438, 4}, DataType::float32),
            .validFrames = validFrames};
        return CohereDecoderLoop(*set.decoder, usesStaticSelfMask(variant)).decode(encoded, decoding);
    }

    std::vector<int> fedTokens() const {
        std::vector<int> tokens;
        for (const auto& step : models.decoderSteps()) {
            tokens.push_back(step.inputId);
        }
        return tokens;
    }

    CohereTestModels models;
};

TEST_F(CohereDecoderLoopTests, FeedsThePromptThenEachChosenTokenUntilTheEnd) {
    models.answer({{40, 41, 42}});
    EXPECT_EQ(decode(options(50)), (std::vector<int>{40, 41, 42}));
    // The end token the decoder answers while the prompt is fed (steps 0 to 8) is ignored; the first token
    // is chosen when the last prompt token is fed, and the last one produced (the end) is not fed back.
    auto expected = promptSequence(Language::german);
    expected.insert(expected.end(), {40, 41, 42});
    EXPECT_EQ(fedTokens(), expected);
    const auto steps = models.decoderSteps();
    for (std::size_t step = 0; step < steps.size(); ++step) {
        EXPECT_EQ(steps[step].positionId, static_cast<int>(step));
    }
}

TEST_F(CohereDecoderLoopTests, TokenLimitCountsFedTokens) {
    const std::vector<int> endless(200, 42);
    const struct {
        int maxNewTokens;
        std::size_t fed;
        std::size_t produced;
    } cases[] = {
        {0, 10, 1},                  // the prompt alone still chooses one token
        {5, 15, 6},                  // maxNewTokens + 1
        {200, 108, 99},              // the caches hold 108 positions
        {-5, 5, 0},                  // cut inside the prompt: nothing is produced
        {-10, 0, 0},    {-50, 0, 0}, // far below the prompt: no run at all rather than one that never ends
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.maxNewTokens);
        CohereTestModels fresh;
        fresh.answer({endless});
        const auto set = fresh.modelSet();
        const CohereEncodedAudio encoded{
            .hiddenStates = std::make_shared<MultiArray>(MultiArray::Shape{1, 438, 4}, DataType::float32),
            .validFrames = 438};
        const auto tokens = CohereDecoderLoop(*set.decoder, true).decode(encoded, options(example.maxNewTokens));
        EXPECT_EQ(tokens, std::vector<int>(example.produced, 42));
        EXPECT_EQ(fresh.decoderSteps().size(), example.fed);
    }
}

TEST_F(CohereDecoderLoopTests, EndAtTheFirstChoiceGivesNoTokens) {
    models.answer({{eos}});
    EXPECT_TRUE(decode(options(50)).empty());
    EXPECT_EQ(models.decoderSteps().size(), 10u);
}

TEST_F(CohereDecoderLoopTests, MasksFollowTheVariantAndTheValidEncoderFrames) {
    models.answer({{40, 41}});
    decode(options(50), CohereDecoderVariant::v2, 300);
    for (const auto& step : models.decoderSteps()) {
        SCOPED_TRACE(step.positionId);
        ASSERT_EQ(step.attentionMaskShape, (MultiArray::Shape{1, 1, 1, 108}));
        for (std::size_t position = 0; position < 108; ++position) {
            ASSERT_EQ(step.attentionMask[position], position <= std::size_t(step.positionId) ? 0.0 : -10000.0);
        }
        ASSERT_EQ(step.crossAttentionMask.size(), 438u);
        for (std::size_t frame = 0; frame < 438; ++frame) {
            ASSERT_EQ(step.crossAttentionMask[frame], frame < 300 ? 0.0 : -10000.0);
        }
    }

    CohereTestModels dynamic;
    dynamic.answer({{40}});
    const auto set = dynamic.modelSet(CohereDecoderVariant::v1);
    const CohereEncodedAudio encoded{.hiddenStates =
                                         std::make_shared<MultiArray>(MultiArray::Shape{1, 438, 4}, DataType::float32),
                                     .validFrames = 1000};
    CohereDecoderLoop(*set.decoder, false).decode(encoded, options(50));
    for (const auto& step : dynamic.decoderSteps()) {
        EXPECT_EQ(step.attentionMaskShape, (MultiArray::Shape{1, 1, 1, std::size_t(step.positionId) + 1}));
        EXPECT_EQ(step.attentionMask, std::vector<double>(std::size_t(step.positionId) + 1, 0.0));
        EXPECT_EQ(step.crossAttentionMask, std::vector<double>(438, 0.0));
    }
}

TEST_F(CohereDecoderLoopTests, UpdatedCachesComeBackAsTheNextInputs) {
    models.answer({{40, 41, 42}});
    decode(options(50));
    const auto steps = models.decoderSteps();
    for (std::size_t step = 0; step < steps.size(); ++step) {
        SCOPED_TRACE(step);
        EXPECT_EQ(steps[step].cacheType, DataType::float16);
        EXPECT_EQ(steps[step].maskType, DataType::float16);
        for (std::size_t position = 0; position < 108; ++position) {
            const double written = position < step ? double(position) + 1 : 0.0;
            ASSERT_EQ(steps[step].keyMarks[position], written) << position;
            ASSERT_EQ(steps[step].valueMarks[position], -written) << position;
        }
    }
}

TEST_F(CohereDecoderLoopTests, CachesAndMasksTakeTheTypeTheDecoderDeclares) {
    CohereTestModels singles(CohereTestModels::Settings{.vocabulary = {}, .cacheType = DataType::float32});
    singles.answer({{40}});
    const auto set = singles.modelSet();
    const CohereDecoderLoop loop(*set.decoder, true);
    EXPECT_EQ(loop.cacheType(), DataType::float32);
    const CohereEncodedAudio encoded{.hiddenStates =
                                         std::make_shared<MultiArray>(MultiArray::Shape{1, 438, 4}, DataType::float32),
                                     .validFrames = 438};
    loop.decode(encoded, options(50));
    for (const auto& step : singles.decoderSteps()) {
        EXPECT_EQ(step.cacheType, DataType::float32);
        EXPECT_EQ(step.maskType, DataType::float32);
    }
}

TEST_F(CohereDecoderLoopTests, RepetitionRulesSeeTheTokenJustFed) {
    // Token 40 scores 1.0 and token 41 0.9 at every step. The rules count the token fed at the step they
    // choose after, so the choice right after 40 already sees 40 penalised or banned.
    models.scores = [](int, int) {
        std::vector<float> scores(CohereTestModels::vocabularyWidth, 0.0f);
        scores[40] = 1.0f;
        scores[41] = 0.9f;
        return scores;
    };
    const struct {
        const char* name;
        float penalty;
        int noRepeatNgram;
        std::vector<int> expected;
    } cases[] = {
        {"no rule", 1.0f, 0, {40, 40, 40, 40}},
        // 40 falls to 0.83 once fed, below 41; once both are fed, 40 leads again.
        {"penalty 1.2", 1.2f, 0, {40, 41, 40, 40}},
        // Every fed id is banned, prompt ids included: after 40 and 41 the best of the zeros, lowest id first.
        {"no repeated token", 1.0f, 1, {40, 41, 0, 1}},
        // [40, 40] may occur once: after the second 40 the rule bans 40.
        {"no repeated pair", 1.0f, 2, {40, 40, 41, 40}},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(decode(options(3, example.penalty, example.noRepeatNgram)), example.expected) << example.name;
    }
}

TEST_F(CohereDecoderLoopTests, MissingOutputsFailTheRun) {
    models.answer({{40}});
    models.omittedOutputs = {"logits"};
    EXPECT_EQ(testsupport::errorText([&] { decode(options(5)); }), "Decoding failed: Decoder output missing 'logits'");
    models.omittedOutputs = {"v_cache_5_out"};
    try {
        decode(options(5));
        FAIL() << "nothing thrown";
    } catch (const CohereAsrError& error) {
        EXPECT_EQ(error.kind(), CohereAsrError::Kind::decodingFailed);
        EXPECT_STREQ(error.what(), "Decoding failed: Missing updated cache for layer 5");
    }
}

} // namespace
} // namespace quorl
