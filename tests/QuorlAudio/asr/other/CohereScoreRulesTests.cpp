#include "QuorlAudio/asr/other/CohereAttentionMasks.hpp"
#include "QuorlAudio/asr/other/CohereScoreRules.hpp"

#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using testsupport::valuesOf;

constexpr double masked = -10000.0;

std::vector<double> maskOf(std::size_t length, std::size_t firstMasked) {
    std::vector<double> values(length, 0.0);
    for (std::size_t position = firstMasked; position < length; ++position) {
        values[position] = masked;
    }
    return values;
}

TEST(CohereAttentionMasksTests, CrossMaskHidesEncoderPaddingInEveryElementType) {
    const struct {
        int length;
        int valid;
        std::size_t firstMasked;
    } cases[] = {{438, 300, 300}, {438, 438, 438}, {438, 500, 438}, {438, 0, 0}, {5, 1, 1}};
    for (const auto dtype : {DataType::float16, DataType::float32, DataType::float64, DataType::int32}) {
        for (const auto& example : cases) {
            SCOPED_TRACE(std::string(rawValue(dtype)) + " valid " + std::to_string(example.valid));
            const auto mask = CohereAttentionMasks::buildCrossAttentionMask(example.length, example.valid, dtype);
            EXPECT_EQ(mask->shape(), (platform::ml::MultiArray::Shape{1, 1, 1, std::size_t(example.length)}));
            EXPECT_EQ(mask->dataType(), dtype);
            EXPECT_EQ(valuesOf(*mask), maskOf(std::size_t(example.length), example.firstMasked));
        }
    }
}

TEST(CohereAttentionMasksTests, SelfMaskIsStaticOverTheCacheOrAsLongAsTheSequence) {
    const auto first = CohereAttentionMasks::buildSelfAttentionMask(0, true, DataType::float16);
    EXPECT_EQ(first->shape(), (platform::ml::MultiArray::Shape{1, 1, 1, 108}));
    EXPECT_EQ(valuesOf(*first), maskOf(108, 1));
    EXPECT_EQ(valuesOf(*CohereAttentionMasks::buildSelfAttentionMask(50, true, DataType::float32)), maskOf(108, 51));
    EXPECT_EQ(valuesOf(*CohereAttentionMasks::buildSelfAttentionMask(107, true, DataType::float32)), maskOf(108, 108));
    const auto dynamic = CohereAttentionMasks::buildSelfAttentionMask(4, false, DataType::float16);
    EXPECT_EQ(dynamic->shape(), (platform::ml::MultiArray::Shape{1, 1, 1, 5}));
    EXPECT_EQ(valuesOf(*dynamic), maskOf(5, 5));
}

TEST(CohereScoreRulesTests, LogitsOfAnyTypeAndShapeReadAsFlatFloats) {
    const std::vector<double> values{1.5, -2.0, 0.25, 7.0, -0.5, 3.0};
    for (const auto dtype : {DataType::float16, DataType::float32, DataType::float64}) {
        const auto logits = testsupport::makeArray({1, 2, 3}, values, dtype);
        const auto scores = CohereScoreRules::copyLogitsFloat32(*logits);
        EXPECT_EQ(std::vector<double>(scores.begin(), scores.end()), values) << rawValue(dtype);
    }
    const auto integers = testsupport::makeArray({2, 2}, {1, -2, 3, 4}, DataType::int32);
    EXPECT_EQ(CohereScoreRules::copyLogitsFloat32(*integers), (std::vector<float>{1, -2, 3, 4}));
    // A view with padding between rows is read through its strides.
    auto padded = testsupport::makeArray({2, 4}, {1, 2, 99, 99, 3, 4, 99, 99});
    const platform::ml::MultiArray view(padded->storage(), padded->dataPointer(), {2, 2}, DataType::float32, {4, 1});
    EXPECT_EQ(CohereScoreRules::copyLogitsFloat32(view), (std::vector<float>{1, 2, 3, 4}));
}

TEST(CohereScoreRulesTests, RepetitionPenaltyShrinksEachHistoryTokenOnce) {
    std::vector<float> scores{2.4f, -1.0f, 5.0f, 0.0f};
    const std::vector<int> history{0, 1, 1, 0, 3, 17, -2};
    CohereScoreRules::applyRepetitionPenalty(scores, history, 1.2f);
    EXPECT_FLOAT_EQ(scores[0], 2.0f);
    EXPECT_FLOAT_EQ(scores[1], -1.2f);
    EXPECT_FLOAT_EQ(scores[2], 5.0f);
    EXPECT_FLOAT_EQ(scores[3], 0.0f);

    std::vector<float> unchanged{2.4f, -1.0f};
    CohereScoreRules::applyRepetitionPenalty(unchanged, history, 1.0f);
    CohereScoreRules::applyRepetitionPenalty(unchanged, {}, 1.2f);
    EXPECT_EQ(unchanged, (std::vector<float>{2.4f, -1.0f}));
}

TEST(CohereScoreRulesTests, NoRepeatNgramBansWhatWouldRepeatAnEarlierNgram) {
    constexpr float banned = CohereScoreRules::banned;
    // a = 1, b = 2, c = 3, d = 4
    const struct {
        const char* name;
        std::vector<int> history;
        int n;
        std::vector<float> expected;
    } cases[] = {
        {"size 3 bans what followed the last two", {1, 2, 3, 1, 2}, 3, {0, 0, 0, banned, 0, 0}},
        {"size 2 bans every follower of the last token", {1, 2, 1, 4, 1}, 2, {0, 0, banned, 0, banned, 0}},
        {"size 1 bans every history token", {1, 5, 99}, 1, {0, banned, 0, 0, 0, banned}},
        {"no earlier occurrence", {1, 2, 3, 4}, 3, {0, 0, 0, 0, 0, 0}},
        {"history shorter than n - 1", {1}, 3, {0, 0, 0, 0, 0, 0}},
        {"history of exactly n - 1 has nothing to match", {1, 2}, 3, {0, 0, 0, 0, 0, 0}},
        {"size 0 is off", {1, 1, 1}, 0, {0, 0, 0, 0, 0, 0}},
        {"a banned id out of range is ignored", {1, 9, 1}, 2, {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& example : cases) {
        std::vector<float> scores(6, 0.0f);
        CohereScoreRules::applyNoRepeatNgram(scores, example.history, example.n);
        EXPECT_EQ(scores, example.expected) << example.name;
    }
}

} // namespace
} // namespace quorl
