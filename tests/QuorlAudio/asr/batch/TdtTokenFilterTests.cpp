#include "QuorlAudio/asr/batch/TdtEnglishBlocklist.hpp"
#include "QuorlAudio/asr/batch/TdtTokenLanguageFilter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {
namespace {

constexpr int blank = 8192;
constexpr int blocklisted = 2530;
constexpr int otherBlocklisted = 506;

const std::unordered_map<int, std::string>& vocabulary() {
    static const std::unordered_map<int, std::string> pieces{
        {blocklisted, "\u2581the"},
        {otherBlocklisted, "\u2581and"},
        {17, "\u2581el"},
        {42, "\u2581la"},
        {43, "\u2581"},
        {99, "\u2581\u0434\u0430"},
        {100, "\u0441\u0442"},
        {blank, "<blank>"},
    };
    return pieces;
}

struct BlocklistCase {
    const char* name;
    int label;
    std::vector<int> ids;
    std::vector<float> logits;
    int expectedLabel;
    float expectedScore;
};

TEST(TdtEnglishBlocklist, RedirectsEnglishOnlyPiecesToTheBestLatinCandidate) {
    const float unchanged = 0.75f;
    const std::vector<BlocklistCase> cases{
        {"equal logits: the earlier candidate wins",
         blocklisted,
         {blocklisted, 17, 42},
         {5, 3, 3},
         17,
         std::exp(-2.0f) / (1 + 2 * std::exp(-2.0f))},
        {"a piece of the marker alone is acceptable",
         blocklisted,
         {blocklisted, 43},
         {5, 1},
         43,
         std::exp(-4.0f) / (1 + std::exp(-4.0f))},
        {"other scripts are skipped", blocklisted, {99, 42}, {9, 1}, 42, std::exp(-8.0f) / (1 + std::exp(-8.0f))},
        {"the score spreads over every logit",
         blocklisted,
         {blocklisted, 17},
         {5, 3, 4},
         17,
         std::exp(-2.0f) / (1 + std::exp(-2.0f) + std::exp(-1.0f))},
        {"only blocked, blank and unknown candidates",
         blocklisted,
         {otherBlocklisted, blank, 12345},
         {1, 2, 3},
         blocklisted,
         unchanged},
        {"a label off the list stays", 17, {42}, {1}, 17, unchanged},
        {"the blank stays", blank, {42}, {1}, blank, unchanged},
        {"no candidates", blocklisted, {}, {1}, blocklisted, unchanged},
    };
    for (const auto& testCase : cases) {
        int label = testCase.label;
        float score = unchanged;
        applyEnglishBlocklist(label, score, testCase.ids, testCase.logits, vocabulary(), blank);
        EXPECT_EQ(label, testCase.expectedLabel) << testCase.name;
        EXPECT_FLOAT_EQ(score, testCase.expectedScore) << testCase.name;
    }
    EXPECT_EQ(englishBlocklistIds().size(), 44u);
}

struct FilterCase {
    const char* name;
    int label;
    std::optional<Language> language;
    std::optional<std::vector<int>> ids;
    std::optional<std::vector<float>> logits;
    bool withVocabulary;
    int expectedLabel;
    float expectedScore;
};

TEST(TdtTokenLanguageFilter, ReplacesPiecesOutsideTheLanguagesScript) {
    const float unchanged = 0.75f;
    const std::vector<int> ids{17, 100, 99};
    const std::vector<float> logits{4, 1, 2};
    const float cyrillicShare = std::exp(-2.0f) / (1 + std::exp(-3.0f) + std::exp(-2.0f));
    const std::vector<FilterCase> cases{
        {"Latin piece under Russian", 17, Language::russian, ids, logits, true, 99, cyrillicShare},
        {"the marker alone", 43, Language::russian, ids, logits, true, 43, unchanged},
        {"a piece of the script", 100, Language::russian, ids, logits, true, 100, unchanged},
        {"a label missing from the vocabulary", 555, Language::russian, ids, logits, true, 555, unchanged},
        {"the blank", blank, Language::russian, ids, logits, true, blank, unchanged},
        {"no language", 17, std::nullopt, ids, logits, true, 17, unchanged},
        {"no vocabulary", 17, Language::russian, ids, logits, false, 17, unchanged},
        {"no logits", 17, Language::russian, ids, std::nullopt, true, 17, unchanged},
        {"empty top-K", 17, Language::russian, std::vector<int>{}, std::vector<float>{}, true, 17, unchanged},
        {"no candidate of the script", 17, Language::greek, ids, logits, true, 17, unchanged},
    };
    for (const auto& testCase : cases) {
        int label = testCase.label;
        float score = unchanged;
        tokenLanguageFilter(label, score, testCase.ids, testCase.logits, testCase.language,
                            testCase.withVocabulary ? &vocabulary() : nullptr, blank);
        EXPECT_EQ(label, testCase.expectedLabel) << testCase.name;
        EXPECT_FLOAT_EQ(score, testCase.expectedScore) << testCase.name;
    }
}

TEST(TdtTokenLanguageFilter, ScriptTestsLeaveWordBoundaryMarkersOut) {
    const struct {
        const char* piece;
        Script script;
        bool expected;
    } cases[] = {
        {"\u2581a\u2581b\u2581", Script::latin, true},
        {"\u2581a\u2581b\u2581", Script::cyrillic, false},
        {"\u2581", Script::cyrillic, true},
        {"", Script::greek, true},
        {"\u0434\u2581\u0430", Script::cyrillic, true},
        {"\u2581\u043f\u0440\u0438\u0432\u0435\u0442\u0441\u0442\u0432\u0443\u044e", Script::cyrillic, true},
        {"\u2581\u0434a", Script::cyrillic, false},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(isEmptyOrWrittenIn(testCase.piece, testCase.script), testCase.expected) << testCase.piece;
    }
}

} // namespace
} // namespace quorl
