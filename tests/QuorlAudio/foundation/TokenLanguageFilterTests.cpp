#include "QuorlAudio/foundation/TokenLanguageFilter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {
namespace {

using TokenLanguageFilter::filterTopK;
using TokenLanguageFilter::matchesScript;

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float nan = std::numeric_limits<float>::quiet_NaN();

const std::unordered_map<int, std::string> vocabulary = {
    {5, "\u2581hello"},
    {9, "\u2581\u043F\u0440\u0438\u0432\u0435\u0442"},
    {11, "\u2581"},
    {12, "\u2581\u03B3\u03B5\u03B9\u03B1"},
    {13, "wor\u2581ld"},
    {14, "\u2581\u2581"},
    {15, "\u2581\u4F60\u597D"},
    {16, "\u2581\xFF"},
};

struct FilterCase {
    std::string name;
    std::vector<int> ids;
    std::vector<float> logits;
    Script script;
    std::optional<int> tokenId;
    float probability;
};

TEST(TokenLanguageFilterTests, ChoosesTheLikeliestCandidateInTheScript) {
    const float e2 = std::exp(2.0f);
    const float e3 = std::exp(3.0f);
    const FilterCase cases[] = {
        {"latin", {5, 9}, {2.0f, 3.0f}, Script::latin, 5, e2 / (e2 + e3)},
        {"cyrillic", {5, 9}, {2.0f, 3.0f}, Script::cyrillic, 9, e3 / (e2 + e3)},
        {"greek", {9, 12, 5}, {1.0f, 0.0f, 2.0f}, Script::greek, 12, 1.0f / (std::exp(1.0f) + 1.0f + std::exp(2.0f))},
        {"a marker inside a piece is removed", {13}, {0.0f}, Script::latin, 13, 1.0f},
        {"equal logits keep the earlier", {5, 13}, {1.0f, 1.0f}, Script::latin, 5, 0.5f},
        {"only the first of three ids has a logit", {9, 5, 12}, {1.0f}, Script::latin, std::nullopt, 0.0f},
        {"no logits", {5}, {}, Script::latin, std::nullopt, 0.0f},
        {"ids missing from the vocabulary", {1, 2}, {1.0f, 2.0f}, Script::latin, std::nullopt, 0.0f},
        {"a script nothing is written in", {15, 9}, {4.0f, 1.0f}, Script::latin, std::nullopt, 0.0f},
        {"malformed UTF-8 never qualifies", {16, 5}, {4.0f, 1.0f}, Script::latin, 5, 1.0f / (std::exp(3.0f) + 1.0f)},
        {"all logits negative infinity", {5, 9}, {-infinity, -infinity}, Script::latin, 5, 0.0f},
        {"a positive infinite logit leaves no finite maximum", {5, 9}, {1.0f, infinity}, Script::latin, 5, 0.0f},
        {"a NaN logit loses and voids the probability", {13, 5}, {nan, 1.0f}, Script::latin, 5, 0.0f},
        {"a lone NaN candidate", {5}, {nan}, Script::latin, 5, 0.0f},
    };
    for (const auto& c : cases) {
        const auto result = filterTopK(c.ids, c.logits, vocabulary, c.script);
        ASSERT_EQ(result.has_value(), c.tokenId.has_value()) << c.name;
        if (result) {
            EXPECT_EQ(result->tokenId, *c.tokenId) << c.name;
            EXPECT_NEAR(result->probability, c.probability, 1e-6) << c.name;
        }
    }
}

TEST(TokenLanguageFilterTests, ABareWordBoundaryQualifiesForEveryScript) {
    for (const Script script : {Script::latin, Script::cyrillic, Script::greek}) {
        for (const int id : {11, 14}) {
            const auto result =
                filterTopK(std::vector<int>{15, id}, std::vector<float>{5.0f, 0.0f}, vocabulary, script);
            ASSERT_TRUE(result.has_value());
            EXPECT_EQ(result->tokenId, id);
        }
    }
}

TEST(TokenLanguageFilterTests, AnEmptyVocabularyQualifiesNothing) {
    EXPECT_EQ(filterTopK(std::vector<int>{5}, std::vector<float>{1.0f}, {}, Script::latin), std::nullopt);
}

TEST(TokenLanguageFilterTests, TextMatchesAScriptWhenEveryScalarIsAccepted) {
    const struct {
        std::string text;
        bool latin;
        bool cyrillic;
        bool greek;
    } cases[] = {
        {"", true, true, true},
        {"\u0301", true, false, true},
        {"Zo\u00EB", true, false, false},
        {"12, ?", true, true, true},
        {"@[`{~\x7F", true, true, true},
        {"A", true, false, false},
        {"\u00A0\u00FF\u0100\u024F\u1E00\u1EFF", true, false, false},
        {"\u043F\u0440\u0438\u0432\u0435\u0442!", false, true, false},
        {"\u0400\u04FF", false, true, false},
        {"\u03B3\u03B5\u03B9\u03B1 \u1F00\u1FFF", false, false, true},
        {"\u2581", false, false, false},
        {"a\tb", false, false, false},
        {"\u0085", false, false, false},
        {"\u0250", false, false, false},
        {"\xFF", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesScript(c.text, Script::latin), c.latin) << c.text;
        EXPECT_EQ(matchesScript(c.text, Script::cyrillic), c.cyrillic) << c.text;
        EXPECT_EQ(matchesScript(c.text, Script::greek), c.greek) << c.text;
    }
}

} // namespace
} // namespace quorl
