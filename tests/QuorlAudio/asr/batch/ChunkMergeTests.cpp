#include "ChunkProcessorTesting.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Tokens = std::vector<DecodedToken>;

// Tokens are told apart by their confidence: the left chunk decodes with 0.9, the right one with 0.5.
DecodedToken fromLeft(int id, int frame) {
    return DecodedToken{.token = id, .timestamp = frame, .confidence = 0.9f, .duration = 1};
}
DecodedToken fromRight(int id, int frame) {
    return DecodedToken{.token = id, .timestamp = frame, .confidence = 0.5f, .duration = 1};
}

ChunkProcessor::SpliceSafeIds safe(const std::string& ids) { return {ids.begin(), ids.end()}; }

ChunkSeamMerger merger() { return standardChunkProcessor(nullptr, 0).merger(); }

TEST(ChunkMerge, JoinsChunksAtTheirOverlap) {
    const Tokens left{fromLeft('A', 100), fromLeft('B', 110), fromLeft('C', 120), fromLeft('D', 130)};
    const Tokens right{fromRight('C', 121), fromRight('D', 131), fromRight('E', 140)};
    const struct {
        const char* name;
        Tokens left;
        Tokens right;
        std::optional<ChunkProcessor::SpliceSafeIds> spliceSafe;
        Tokens expected;
    } cases[] = {
        {"no overlap: one frame ends where the next begins",
         {fromLeft('A', 98), fromLeft('B', 99)},
         {fromRight('C', 100), fromRight('D', 101)},
         std::nullopt,
         {fromLeft('A', 98), fromLeft('B', 99), fromRight('C', 100), fromRight('D', 101)}},
        {"an empty left side", {}, right, std::nullopt, right},
        {"an empty right side", left, {}, std::nullopt, left},
        {"a matched run keeps the left tokens and the right tail",
         left,
         right,
         std::nullopt,
         {fromLeft('A', 100), fromLeft('B', 110), fromLeft('C', 120), fromLeft('D', 130), fromRight('E', 140)}},
        {"a tail opening a word follows directly",
         left,
         right,
         safe("ADE"),
         {fromLeft('A', 100), fromLeft('B', 110), fromLeft('C', 120), fromLeft('D', 130), fromRight('E', 140)}},
        {"a tail inside a word takes the whole seam word from the right",
         left,
         right,
         safe("D"),
         {fromLeft('A', 100), fromLeft('B', 110), fromLeft('C', 120), fromRight('D', 131), fromRight('E', 140)}},
        {"a seam word not starting in the right chunk is finished by the left one",
         {fromLeft('A', 100), fromLeft('B', 110), fromLeft('C', 120), fromLeft('D', 130), fromLeft('g', 134)},
         {fromRight('C', 121), fromRight('D', 131), fromRight('e', 135), fromRight('F', 150)},
         safe("AF"),
         {fromLeft('A', 100), fromLeft('B', 110), fromLeft('C', 120), fromLeft('D', 130), fromLeft('g', 134),
          fromRight('F', 150)}},
        {"without matches both sides are cut halfway through the overlap",
         {fromLeft('A', 100), fromLeft('B', 110)},
         {fromRight('X', 105), fromRight('Y', 115)},
         std::nullopt,
         {fromLeft('A', 100), fromRight('Y', 115)}},
        {"a halfway cut keeps the open word on the left and starts the right at a new word",
         {fromLeft('A', 100), fromLeft('b', 110), fromLeft('c', 114)},
         {fromRight('x', 104), fromRight('y', 112), fromRight('Z', 118)},
         safe("AZ"),
         {fromLeft('A', 100), fromLeft('b', 110), fromLeft('c', 114), fromRight('Z', 118)}},
        {"a halfway cut stays put on the right when no new word follows",
         {fromLeft('A', 100), fromLeft('b', 110), fromLeft('C', 114)},
         {fromRight('x', 104), fromRight('y', 112), fromRight('z', 118)},
         safe("AC"),
         {fromLeft('A', 100), fromLeft('b', 110), fromRight('y', 112), fromRight('z', 118)}},
        {"a single overlap token is cut halfway",
         {fromLeft('A', 50), fromLeft('B', 100)},
         {fromRight('B', 100), fromRight('C', 150)},
         std::nullopt,
         {fromLeft('A', 50), fromLeft('B', 100), fromRight('C', 150)}},
        {"a short run falls back to the longest common subsequence, longer gaps winning",
         {fromLeft('A', 100), fromLeft('B', 104), fromLeft('C', 108), fromLeft('D', 112), fromLeft('E', 116),
          fromLeft('F', 120)},
         {fromRight('B', 104), fromRight('X', 106), fromRight('W', 107), fromRight('D', 112), fromRight('Y', 116),
          fromRight('F', 120), fromRight('G', 124)},
         std::nullopt,
         {fromLeft('A', 100), fromLeft('B', 104), fromRight('X', 106), fromRight('W', 107), fromLeft('D', 112),
          fromLeft('E', 116), fromLeft('F', 120), fromRight('G', 124)}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(merger().mergeChunks(testCase.left, testCase.right, testCase.spliceSafe, std::nullopt),
                  testCase.expected);
    }
}

TEST(ChunkMerge, TokensMatchOnlyWithinHalfTheOverlap) {
    const Tokens left{fromLeft('A', 100), fromLeft('C', 110)};
    // 12 frames (0.96 s) apart the two C are one token; 13 frames (1.04 s) apart they are two, and the chunks are
    // cut halfway through their overlap instead.
    EXPECT_EQ(merger().mergeChunks(left, {fromRight('Z', 105), fromRight('C', 122), fromRight('E', 130)}, std::nullopt,
                                   std::nullopt),
              (Tokens{fromLeft('A', 100), fromLeft('C', 110), fromRight('E', 130)}));
    EXPECT_EQ(merger().mergeChunks(left, {fromRight('Z', 105), fromRight('C', 123), fromRight('E', 130)}, std::nullopt,
                                   std::nullopt),
              (Tokens{fromLeft('A', 100), fromRight('C', 123), fromRight('E', 130)}));
}

TEST(ChunkMerge, CaseVariantsMatchLikeEqualTokens) {
    constexpr int upperThe = 5;
    constexpr int lowerThe = 9;
    const Tokens left{fromLeft('A', 110), fromLeft(upperThe, 125)};
    const Tokens right{fromRight('Z', 118), fromRight(lowerThe, 126), fromRight('Y', 135)};
    const struct {
        const char* name;
        std::optional<ChunkProcessor::CaseVariantIds> caseVariants;
        Tokens expected;
    } cases[] = {
        {"one class",
         ChunkProcessor::CaseVariantIds{{upperThe, lowerThe}, {lowerThe, lowerThe}},
         {fromLeft('A', 110), fromLeft(upperThe, 125), fromRight('Y', 135)}},
        {"no table", std::nullopt, {fromLeft('A', 110), fromRight(lowerThe, 126), fromRight('Y', 135)}},
        {"different classes",
         ChunkProcessor::CaseVariantIds{{upperThe, upperThe}, {lowerThe, lowerThe}},
         {fromLeft('A', 110), fromRight(lowerThe, 126), fromRight('Y', 135)}},
        {"one id outside the table",
         ChunkProcessor::CaseVariantIds{{upperThe, lowerThe}},
         {fromLeft('A', 110), fromRight(lowerThe, 126), fromRight('Y', 135)}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(merger().mergeChunks(left, right, std::nullopt, testCase.caseVariants), testCase.expected);
    }
}

TEST(ChunkMerge, SortByTimestampKeepsTheOrderOfEqualTimestamps) {
    Tokens tokens{fromLeft('a', 5), fromLeft('b', 3), fromRight('c', 5), fromRight('d', 3)};
    ChunkSeamMerger::sortByTimestamp(tokens);
    EXPECT_EQ(tokens, (Tokens{fromLeft('b', 3), fromRight('d', 3), fromLeft('a', 5), fromRight('c', 5)}));
}

} // namespace
} // namespace quorl
