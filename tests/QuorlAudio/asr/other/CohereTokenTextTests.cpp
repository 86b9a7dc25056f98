#include "QuorlAudio/asr/other/CohereTokenStreamMerge.hpp"
#include "QuorlAudio/asr/other/CohereTokenText.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

const TokenVocabulary vocabulary{
    {0, "<unk>"}, {1, "<nospeech>"}, {2, "<pad>"},   {3, "<eos>"},   {4, "<start>"}, {10, "▁Hello"}, {11, "▁wor"},
    {12, "ld"},   {20, "<0xE2>"},    {21, "<0x82>"}, {22, "<0xAC>"}, {23, "<0xFF>"}, {24, "<0xG1>"}, {25, "<|en|>"},
    {26, ""},     {27, "▁"},         {28, "<0xc3>"}, {29, "<0xA9>"}, {30, "\t"},     {31, "\n"},
};

TEST(CohereTokenTextTests, PiecesJoinIntoText) {
    const struct {
        const char* name;
        std::vector<int> ids;
        std::string text;
    } cases[] = {
        {"word pieces", {10, 11, 12}, "Hello world"},
        {"no tokens", {}, ""},
        {"special ids, unknown ids, empty and <| pieces vanish",
         {0, 10, 1, 2, 3, 4, 99, 26, 25, 11, 12},
         "Hello world"},
        {"three bytes make the euro sign", {10, 27, 20, 21, 22}, "Hello €"},
        {"lower-case hexadecimal", {28, 29}, "é"},
        {"a lone invalid byte becomes the replacement character", {10, 23}, "Hello\xEF\xBF\xBD"},
        {"a truncated sequence before text becomes the replacement character", {20, 21, 11, 12}, "\xEF\xBF\xBD world"},
        {"a skipped token does not split a byte run", {20, 3, 21, 25, 99, 22}, "€"},
        {"not hexadecimal: appended as it is", {10, 24}, "Hello<0xG1>"},
        {"tabs are trimmed, line breaks are not", {30, 31, 10, 30}, "\n Hello"},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(CohereTokenText::convertTokensToText(example.ids, vocabulary), example.text) << example.name;
    }
}

TEST(CohereTokenTextTests, ByteFallbackPiecesAreExactlySixCharacters) {
    const struct {
        std::string piece;
        std::optional<std::uint8_t> byte;
    } cases[] = {
        {"<0xE2>", 0xE2},         {"<0x00>", 0x00},         {"<0xff>", 0xFF},          {"<0xaB>", 0xAB},
        {"<0xG1>", std::nullopt}, {"<0x1>", std::nullopt},  {"<0x123>", std::nullopt}, {"<0X12>", std::nullopt},
        {"<0x-1>", std::nullopt}, {"<0x+1>", std::nullopt}, {"[0x12]", std::nullopt},  {"<0x12 ", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(CohereTokenText::parseByteFallback(example.piece), example.byte) << example.piece;
    }
}

TEST(CohereTokenStreamMergeTests, OverlapIsDroppedFromTheSuffixWhenTheSharedRunIsLongEnough) {
    const struct {
        const char* name;
        std::vector<int> prefix;
        std::vector<int> suffix;
        std::vector<int> merged;
    } cases[] = {
        {"shared run of four at the seam", {1, 2, 5, 6, 7, 8}, {5, 6, 7, 8, 9, 10}, {1, 2, 5, 6, 7, 8, 9, 10}},
        {"run of two is too short", {1, 2, 5, 6, 7, 8}, {7, 8, 9, 10}, {1, 2, 5, 6, 7, 8, 7, 8, 9, 10}},
        {"run inside the head drops everything up to it",
         {1, 5, 6, 7, 8, 2},
         {4, 4, 5, 6, 7, 8, 9},
         {1, 5, 6, 7, 8, 2, 9}},
        {"the longer of two runs wins",
         {5, 6, 7, 8, 0, 1, 2, 3, 4, 12},
         {5, 6, 7, 8, 9, 1, 2, 3, 4, 12, 11},
         {5, 6, 7, 8, 0, 1, 2, 3, 4, 12, 11}},
        {"of two equal runs the first in the tail wins",
         {1, 2, 3, 4, 0, 5, 6, 7, 8},
         {5, 6, 7, 8, 9, 1, 2, 3, 4, 10},
         {1, 2, 3, 4, 0, 5, 6, 7, 8, 10}},
        {"empty prefix", {}, {1, 2}, {1, 2}},
        {"empty suffix", {1, 2}, {}, {1, 2}},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(CohereTokenStreamMerge::mergeTokenStreams(example.prefix, example.suffix, 32, 4), example.merged)
            << example.name;
    }
}

TEST(CohereTokenStreamMergeTests, OnlyTheLastAndFirstWindowTokensAreCompared) {
    // 5, 6, 7, 8 and then 29 other tokens: the 32-token tail starts at the 6.
    std::vector<int> prefix{5, 6, 7, 8};
    for (int index = 0; index < 29; ++index) {
        prefix.push_back(100 + index);
    }
    const auto withTail = [&](std::vector<int> rest) {
        auto merged = prefix;
        merged.insert(merged.end(), rest.begin(), rest.end());
        return merged;
    };
    EXPECT_EQ(CohereTokenStreamMerge::mergeTokenStreams(prefix, std::vector<int>{5, 6, 7, 8, 9}, 32, 4),
              withTail({5, 6, 7, 8, 9}));
    EXPECT_EQ(CohereTokenStreamMerge::mergeTokenStreams(prefix, std::vector<int>{6, 7, 8, 100, 42}, 32, 4),
              withTail({42}));
    // The run must start within the first 32 suffix tokens too.
    std::vector<int> late(32, 1);
    late.insert(late.end(), {6, 7, 8, 100, 42});
    EXPECT_EQ(CohereTokenStreamMerge::mergeTokenStreams(prefix, late, 32, 4), withTail(late));
}

} // namespace
} // namespace quorl
