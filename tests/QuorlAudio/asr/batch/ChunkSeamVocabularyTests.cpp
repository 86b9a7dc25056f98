#include "QuorlAudio/asr/batch/ChunkSeamVocabulary.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorl {
namespace {

using Vocabulary = ChunkSeamVocabulary::Vocabulary;
using CaseVariantIds = ChunkSeamVocabulary::CaseVariantIds;

TEST(ChunkSeamVocabulary, AnEmptyVocabularyGivesNeitherAnalysis) {
    EXPECT_EQ(ChunkSeamVocabulary::spliceSafeTokenIds({}), std::nullopt);
    EXPECT_EQ(ChunkSeamVocabulary::caseVariantCanonicalIds({}), std::nullopt);
}

TEST(ChunkSeamVocabulary, PiecesOpeningAWordOrStandingAloneAreSpliceSafe) {
    const struct {
        std::string piece;
        bool spliceSafe;
    } cases[] = {
        {"\u2581", true}, {"\u2581the", true}, {" a", true},           {",", true},    {"?!", true},
        {"$", true},      {"\u20AC", true},    {"\u00AB\u2014", true}, {"the", false}, {"a,", false},
        {"1", false},     {"", false},         {"\u00E9", false},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(ChunkSeamVocabulary::isSpliceSafePiece(testCase.piece), testCase.spliceSafe) << testCase.piece;
    }
}

TEST(ChunkSeamVocabulary, SpliceSafeIdsAreThoseOfSpliceSafePieces) {
    const Vocabulary vocabulary{{1, "\u2581the"}, {2, "ing"}, {3, ","}, {4, ""}, {5, "1"}, {6, " a"}, {7, "\u20AC"}};
    EXPECT_EQ(ChunkSeamVocabulary::spliceSafeTokenIds(vocabulary), (ChunkSeamVocabulary::SpliceSafeIds{1, 3, 6, 7}));
    // Only word-internal pieces: an empty set, which still says the vocabulary was looked at.
    EXPECT_EQ(ChunkSeamVocabulary::spliceSafeTokenIds({{1, "ing"}, {2, "ed"}}), ChunkSeamVocabulary::SpliceSafeIds{});
}

TEST(ChunkSeamVocabulary, CaseVariantsMapToTheLowerCaseMemberOrTheSmallestId) {
    const struct {
        const char* name;
        Vocabulary vocabulary;
        std::optional<CaseVariantIds> expected;
    } cases[] = {
        {"lower-case member", {{5, "\u2581The"}, {9, "\u2581the"}}, CaseVariantIds{{5, 9}, {9, 9}}},
        {"no lower-case member", {{5, "\u2581The"}, {9, "\u2581THE"}}, CaseVariantIds{{5, 5}, {9, 5}}},
        {"the marker is part of the piece", {{5, "The"}, {9, "\u2581the"}}, std::nullopt},
        {"no variants", {{1, "\u2581cat"}, {2, "\u2581dog"}, {3, "ing"}}, std::nullopt},
        {"several classes",
         {{3, "\u2581THE"}, {5, "\u2581The"}, {9, "\u2581the"}, {12, "\u2581dog"}, {20, "\u2581Dog"}, {30, "ing"}},
         CaseVariantIds{{3, 9}, {5, 9}, {9, 9}, {12, 12}, {20, 12}}},
        {"canonically equivalent spellings",
         {{4, "\u2581a\u0308"}, {7, "\u2581\u00C4"}},
         CaseVariantIds{{4, 4}, {7, 4}}},
        {"two lower-case spellings: the smaller id",
         {{7, "\u2581a\u0308"}, {4, "\u2581\u00E4"}},
         CaseVariantIds{{4, 4}, {7, 4}}},
        {"full mapping: capital I with dot above is not i", {{1, "\u2581\u0130"}, {2, "\u2581i"}}, std::nullopt},
        {"full mapping: capital I with dot above is i and a dot",
         {{1, "\u2581\u0130"}, {2, "\u2581i\u0307"}},
         CaseVariantIds{{1, 2}, {2, 2}}},
        {"final sigma",
         {{1, "\u2581\u039F\u0394\u039F\u03A3"}, {2, "\u2581\u03BF\u03B4\u03BF\u03C2"}},
         CaseVariantIds{{1, 2}, {2, 2}}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(ChunkSeamVocabulary::caseVariantCanonicalIds(testCase.vocabulary), testCase.expected);
    }
}

} // namespace
} // namespace quorl
