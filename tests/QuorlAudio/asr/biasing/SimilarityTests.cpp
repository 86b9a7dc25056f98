#include "QuorlAudio/asr/biasing/BKTree.hpp"
#include "QuorlAudio/asr/biasing/NormalizedForm.hpp"
#include "QuorlAudio/asr/biasing/TextSimilarity.hpp"
#include "QuorlAudio/asr/biasing/WordBoundary.hpp"
#include "QuorlAudio/foundation/StringUtils.hpp"
#include "platform/text/CaseMapping.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace quorl {
namespace {

CustomVocabularyTerm term(const std::string& text, std::optional<std::vector<std::string>> aliases = std::nullopt) {
    return CustomVocabularyTerm({.text = text, .aliases = std::move(aliases)});
}

TEST(SimilarityTests, NormalisedTextKeepsWordsOfLettersDigitsApostrophesAndHyphens) {
    const struct {
        std::string text;
        std::string normalized;
    } cases[] = {
        {"Hello,  World!", "hello world"},
        {"one\ttwo\nthree   four", "one two three four"},
        {"e-mail", "e-mail"},
        {"rock 'n' roll", "rock 'n' roll"},
        {"a+b", "ab"},
        {"a.b", "ab"},
        {"a. b", "a b"},
        {"one\rtwo", "onetwo"},
        {"one\r\ntwo", "one two"},
        {"one\u00A0two", "onetwo"},
        {" \t.,;!? ", ""},
        {"", ""},
        {"Caf\u00E9 N\u00BA 42", "caf\u00E9 n\u00BA 42"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(normalizeForSimilarity(testCase.text), testCase.normalized) << testCase.text;
    }
}

TEST(SimilarityTests, SimilarityIsOneMinusTheEditDistanceOverTheLongerText) {
    const struct {
        std::string first;
        std::string second;
        float similarity;
    } cases[] = {
        {"flaw", "lawn", 0.5f}, {"book", "books", 0.8f}, {"", "", 1.0f},
        {"abc", "", 0.0f},      {"Tree", "TREE", 1.0f},  {"caf\u00E9", "cafe\u0301", 1.0f},
    };
    for (const auto& testCase : cases) {
        EXPECT_FLOAT_EQ(stringSimilarity(testCase.first, testCase.second), testCase.similarity)
            << testCase.first << " / " << testCase.second;
    }
}

TEST(SimilarityTests, NormalisedFormsGatherTheTextAndEveryAliasOfTheSameTermOnce) {
    const auto dataBase = term("Data Base", std::vector<std::string>{"database", "Data-Base"});
    const CustomVocabularyContext vocabulary{.terms = {term("data base", std::vector<std::string>{"data base."}),
                                                       term("Other", std::vector<std::string>{"x y"})}};

    EXPECT_EQ(buildNormalizedForms(dataBase, vocabulary),
              (std::vector<NormalizedForm>{{"data base", 2}, {"database", 1}, {"data-base", 1}}));
    EXPECT_EQ(buildNormalizedForms(term("?!"), vocabulary), std::vector<NormalizedForm>{});
    EXPECT_EQ(buildVocabularyNormalizedSet(vocabulary), (std::unordered_set<std::string>{"data base", "other", "x y"}));
    EXPECT_EQ(NormalizedFormHash{}(NormalizedForm{"a", 1}), NormalizedFormHash{}(NormalizedForm{"a", 1}));
}

TEST(SimilarityTests, CapitalisationFollowsTheFirstCharacterOnly) {
    const struct {
        std::string original;
        std::string replacement;
        std::string result;
    } cases[] = {
        {"Opal", "opal", "Opal"},   {"OPAL", "opal", "Opal"},
        {"opal", "Opal", "Opal"},   {"", "opal", "opal"},
        {"Opal", "", ""},           {"Stra\u00DFe", "\u00DFtra", "SStra"},
        {"Opal", "1opal", "1opal"}, {"\u00C9t\u00E9", "\u00E9t\u00E9", "\u00C9t\u00E9"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(preserveCapitalization(testCase.original, testCase.replacement), testCase.result)
            << testCase.original << " / " << testCase.replacement;
    }
}

TEST(SimilarityTests, WordBoundariesAreOneMarkerOrOneSpace) {
    EXPECT_TRUE(isWordBoundary("\u2581hello"));
    EXPECT_TRUE(isWordBoundary(" hello"));
    EXPECT_FALSE(isWordBoundary("hello"));
    EXPECT_FALSE(isWordBoundary(""));
    EXPECT_EQ(stripWordBoundaryPrefix("\u2581hello"), "hello");
    EXPECT_EQ(stripWordBoundaryPrefix("  hi"), " hi");
    EXPECT_EQ(stripWordBoundaryPrefix("hello"), "hello");
}

TEST(SimilarityTests, AnEmptyTreeFindsNothing) {
    const BKTree tree({});
    EXPECT_TRUE(tree.isEmpty());
    EXPECT_EQ(tree.count(), 0);
    EXPECT_TRUE(tree.search("cat", 3).empty());
}

TEST(SimilarityTests, TreeSearchVisitsOnlyBranchesWithinTheBound) {
    const BKTree tree({term("cat"), term("hat"), term("cart"), term("dog")});
    EXPECT_FALSE(tree.isEmpty());
    EXPECT_EQ(tree.count(), 4);

    const auto found = tree.search("Cat", 1);
    std::vector<std::pair<std::string, std::int64_t>> matches;
    for (const auto& result : found) {
        matches.emplace_back(result.normalizedText, result.distance);
    }
    EXPECT_EQ(matches, (std::vector<std::pair<std::string, std::int64_t>>{{"cat", 0}, {"hat", 1}, {"cart", 1}}));
    EXPECT_EQ(found.front().term, term("cat"));
    EXPECT_TRUE(tree.search("cat", -1).empty());
    EXPECT_EQ(tree.search("dig", 1).size(), 1u);
}

TEST(SimilarityTests, TreeKeepsEveryTermWithTheSameTextAndFindsWhatAFullScanFinds) {
    const std::vector<CustomVocabularyTerm> terms{term("Kube"),       term("kube"), term("cube"), term("tube"),
                                                  term("kubernetes"), term("cub"),  term("Qube"), term("k8s")};
    const BKTree tree(terms);
    for (const std::string query : {"kube", "KUBA", "cubes", "kubernete", "x"}) {
        for (std::int64_t bound = 0; bound <= 3; ++bound) {
            std::multiset<std::string> expected;
            for (const auto& candidate : terms) {
                if (StringUtils::levenshteinDistance(platform::text::lowercased(query), candidate.textLowercased()) <=
                    bound) {
                    expected.insert(candidate.text());
                }
            }
            std::multiset<std::string> found;
            for (const auto& result : tree.search(query, bound)) {
                found.insert(result.term.text());
            }
            EXPECT_EQ(found, expected) << query << " within " << bound;
        }
    }
}

} // namespace
} // namespace quorl
