#include "QuorlAudio/asr/biasing/CustomVocabularyConfig.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyContext.hpp"
#include "QuorlAudio/asr/biasing/VocabularyTermSanitizer.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using Aliases = std::optional<std::vector<std::string>>;
using platform::sys::LogType;

class CustomVocabularyTest : public ::testing::Test {
protected:
    fs::path write(const std::string& contents, const std::string& name = "vocabulary") {
        const fs::path path = scratch.path() / name;
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

    std::vector<std::string> texts(const CustomVocabularyContext& context) {
        std::vector<std::string> found;
        for (const auto& term : context.terms) {
            found.push_back(term.text());
        }
        return found;
    }

    std::vector<std::string> warnings() const { return sink.messages("CustomVocabulary", LogType::error); }

    static void expectDefaultThresholds(const CustomVocabularyContext& context) {
        EXPECT_EQ(context.alpha, 0.5f);
        EXPECT_EQ(context.minCtcScore, -12.0f);
        EXPECT_EQ(context.minSimilarity, 0.52f);
        EXPECT_EQ(context.minCombinedConfidence, 0.54f);
        EXPECT_EQ(context.minTermLength, 3);
    }

    testsupport::TemporaryFolder scratch;
    testsupport::RecordingLogSink sink;
};

TEST_F(CustomVocabularyTest, CleaningWarnsInOrderAndRewritesOnlyControlCharacters) {
    const struct {
        std::string term;
        std::string sanitized;
        std::vector<std::string> warnings;
    } cases[] = {
        {"Kubernetes", "Kubernetes", {}},
        {"rock 'n' roll-over", "rock 'n' roll-over", {}},
        {"Caf\u00E9", "Caf\u00E9", {"contains diacritics - consider adding ASCII alias"}},
        {"R2-D2", "R2-D2", {"contains numbers", "contains unusual characters"}},
        {"C#", "C#", {"contains unusual characters"}},
        {"\t", "", {"contains control characters"}},
        {"a\tb\u00A0c d\r\ne\u200Bf", "abc de\u200Bf", {"contains control characters", "contains unusual characters"}},
        {"no\u00A0break", "no\u00A0break", {}},
    };
    for (const auto& testCase : cases) {
        const auto [sanitized, warnings] = sanitizeVocabularyTerm(testCase.term);
        EXPECT_EQ(sanitized, testCase.sanitized) << testCase.term;
        EXPECT_EQ(warnings, testCase.warnings) << testCase.term;
    }
}

TEST_F(CustomVocabularyTest, PlainTextLinesGiveTermsWithAliasesAndDefaultThresholds) {
    const auto context = CustomVocabularyContext::loadFromSimpleFormat(
        write("# team names\n\n  Kubernetes : k8s , kube ,, \r\nC#\n  # C#\na:b:c, d\n: x\nterm:\n\t\n"
              "one\u2028two\vthree\fPostgreSQL: Postgres,\tpg\u0085\u00C9t\u00E9\n"));

    EXPECT_EQ(texts(context), (std::vector<std::string>{"Kubernetes", "C#", "a", "term", "one", "two", "three",
                                                        "PostgreSQL", "\u00C9t\u00E9"}));
    EXPECT_EQ(context.terms[0].aliases(), (Aliases{{"k8s", "kube"}}));
    EXPECT_EQ(context.terms[2].aliases(), (Aliases{{"b:c", "d"}}));
    EXPECT_EQ(context.terms[3].aliases(), std::nullopt);
    EXPECT_EQ(context.terms[7].aliases(), (Aliases{{"Postgres", "pg"}}));
    for (const auto& term : context.terms) {
        EXPECT_EQ(term.weight(), 10.0f);
        EXPECT_FALSE(term.tokenIds() || term.ctcTokenIds() || term.minSimilarity());
    }
    EXPECT_EQ(context.terms[0].textLowercased(), "kubernetes");
    expectDefaultThresholds(context);
    // Cleaning warnings of plain text are not logged.
    EXPECT_TRUE(warnings().empty());
}

TEST_F(CustomVocabularyTest, PlainTextMustBeUtf8) {
    EXPECT_THROW(CustomVocabularyContext::loadFromSimpleFormat(write("ok\n\xFF\xFE\n")), fs::filesystem_error);
    EXPECT_THROW(CustomVocabularyContext::loadFromSimpleFormat(scratch.path() / "absent"), fs::filesystem_error);
}

TEST_F(CustomVocabularyTest, JsonTermsAreCleanedClampedAndLogged) {
    const auto context = CustomVocabularyContext::load(write(R"({
        "alpha": 0.7, "minCtcScore": -9, "minSimilarity": 0.6, "minCombinedConfidence": 0.4, "minTermLength": 2,
        "extra": true,
        "terms": [
            {"text": "Caf\u00e9", "minSimilarity": 1.7, "aliases": ["cafe", " \t ", "ca\tfe"]},
            {"text": "R2-D2", "weight": -3, "minSimilarity": -0.2, "tokenIds": [1, 2], "ctcTokenIds": [3]},
            {"text": "\t"},
            {"text": "Opal", "aliases": [], "minSimilarity": null}
        ]})"));

    EXPECT_EQ(texts(context), (std::vector<std::string>{"Caf\u00E9", "R2-D2", "Opal"}));
    EXPECT_EQ(context.terms[0].minSimilarity(), 1.0f);
    // A tab is a control character, so cleaning removes it; a cleaned alias is never trimmed.
    EXPECT_EQ(context.terms[0].aliases(), (Aliases{{"cafe", "  ", "cafe"}}));
    EXPECT_EQ(context.terms[1].minSimilarity(), 0.0f);
    EXPECT_EQ(context.terms[1].weight(), -3.0f);
    EXPECT_EQ(context.terms[1].tokenIds(), (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(context.terms[1].ctcTokenIds(), (std::vector<std::int64_t>{3}));
    EXPECT_EQ(context.terms[2].aliases(), std::nullopt);
    EXPECT_EQ(context.terms[2].minSimilarity(), std::nullopt);
    EXPECT_EQ(context.alpha, 0.7f);
    EXPECT_EQ(context.minCtcScore, -9.0f);
    EXPECT_EQ(context.minSimilarity, 0.6f);
    EXPECT_EQ(context.minCombinedConfidence, 0.4f);
    EXPECT_EQ(context.minTermLength, 2);
    EXPECT_EQ(warnings(), (std::vector<std::string>{
                              "Term 'Caf\u00E9': contains diacritics - consider adding ASCII alias",
                              "Term 'R2-D2': contains numbers, contains unusual characters",
                              "Term '\t': contains control characters",
                              "Term '\t' is empty after sanitization, skipping",
                          }));
}

TEST_F(CustomVocabularyTest, AliasesWithControlCharactersAreCleanedAndEmptyOnesDropped) {
    const auto context = CustomVocabularyContext::load(
        write(R"({"terms": [{"text": "Opal", "aliases": ["o\u0000pal", "\n", "op al"]}]})"));
    EXPECT_EQ(context.terms[0].aliases(), (Aliases{{std::string("o\0pal", 5), "op al"}}));
    EXPECT_TRUE(warnings().empty());
}

TEST_F(CustomVocabularyTest, MalformedJsonDocumentsFailTheLoad) {
    for (const std::string document :
         {R"({"alpha": 1})", R"({"terms": [{"weight": 1}]})", R"({"terms": [{"text": 5}]})",
          R"({"terms": [{"text": "a", "weight": true}]})", R"({"terms": [{"text": "a", "aliases": "b"}]})",
          R"({"terms": [{"text": "a"}], "minTermLength": 2.5})", R"({"terms": {}})", R"({"terms": [)"}) {
        EXPECT_THROW(CustomVocabularyContext::load(write(document)), nlohmann::json::exception) << document;
    }
}

TEST_F(CustomVocabularyTest, TheFirstSignificantByteChoosesTheFormat) {
    const std::string json = R"({"terms": [{"text": "Opal", "aliases": ["o pal"]}]})";
    const struct {
        std::string contents;
        std::vector<std::string> terms;
    } cases[] = {
        {" \r\n\t" + json, {"Opal"}},
        // The byte-order mark is skipped before the format is chosen and before the JSON is read.
        {"\xEF\xBB\xBF" + json, {"Opal"}},
        {"\xEF\xBB\xBF  \n" + json, {"Opal"}},
        {"\xEF\xBB\xBFOpal: o pal\n", {"Opal"}},
        {"[\"Opal\"]", {"[\"Opal\"]"}},
        {"", {}},
        {" \n\t", {}},
    };
    for (const auto& testCase : cases) {
        const auto context = CustomVocabularyContext::loadVocabularyFile(write(testCase.contents));
        EXPECT_EQ(texts(context), testCase.terms) << testCase.contents;
        expectDefaultThresholds(context);
    }
    EXPECT_EQ(CustomVocabularyContext::loadVocabularyFile(write(json)).terms[0].weight(), std::nullopt);
    EXPECT_EQ(CustomVocabularyContext::loadVocabularyFile(write("Opal: o pal")).terms[0].aliases(), Aliases{{"o pal"}});
}

TEST_F(CustomVocabularyTest, DocumentsEncodeTheirKeysInOrderAndDecodeBack) {
    const CustomVocabularyConfig config{.alpha = 0.7f,
                                        .terms = {CustomVocabularyTerm({.text = "Opal",
                                                                        .weight = 1.5f,
                                                                        .aliases = std::vector<std::string>{"o pal"},
                                                                        .tokenIds = std::vector<std::int64_t>{1},
                                                                        .ctcTokenIds = std::vector<std::int64_t>{2, 3},
                                                                        .minSimilarity = 0.8f}),
                                                  CustomVocabularyTerm({.text = "Kube"})},
                                        .minCtcScore = std::nullopt,
                                        .minSimilarity = 0.6f,
                                        .minCombinedConfidence = std::nullopt,
                                        .minTermLength = 4};

    EXPECT_EQ(config.toJson().dump(),
              R"({"alpha":0.7,"terms":[{"text":"Opal","weight":1.5,"aliases":["o pal"],"tokenIds":[1],)"
              R"("ctcTokenIds":[2,3],"minSimilarity":0.8},{"text":"Kube"}],"minSimilarity":0.6,"minTermLength":4})");
    EXPECT_EQ(CustomVocabularyConfig::fromJson(nlohmann::json::parse(config.toJson().dump())), config);
}

TEST_F(CustomVocabularyTest, TermsClampTheirSimilarityAndLowerTheirText) {
    const struct {
        std::optional<float> given;
        std::optional<float> held;
    } cases[] = {{std::nullopt, std::nullopt},
                 {1.7f, 1.0f},
                 {-0.2f, 0.0f},
                 {0.4f, 0.4f},
                 {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
    for (const auto& testCase : cases) {
        EXPECT_EQ(CustomVocabularyTerm({.text = "x", .minSimilarity = testCase.given}).minSimilarity(), testCase.held);
    }
    EXPECT_EQ(CustomVocabularyTerm({.text = "\u0130STANBUL \u03A3"}).textLowercased(), "i\u0307stanbul \u03C3");
}

} // namespace
} // namespace quorl
