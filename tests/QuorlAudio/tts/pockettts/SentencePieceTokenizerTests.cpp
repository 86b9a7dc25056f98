#include "QuorlAudio/tts/pockettts/SentencePieceTokenizer.hpp"

#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorl {
namespace {

using namespace pocketttsfixtures;
using Pieces = std::vector<std::pair<std::string, float>>;

std::optional<SentencePieceProto::ParseError> parseError(const std::string& bytes) {
    try {
        SentencePieceProto::parse(bytes);
    } catch (const SentencePieceProto::ParseFailure& failure) {
        return failure.error();
    }
    return std::nullopt;
}

TEST(SentencePieceTokenizerTests, ReadsOnlyThePiecesField) {
    const std::string model = lengthDelimited(2, "trainer") + lengthDelimited(1, pieceMessage("\u2581the", -1.5F)) +
                              lengthDelimited(3, "normalizer") + varint(4 << 3) + varint(300) + varint((5 << 3) | 1) +
                              std::string(8, 'x') + varint((5 << 3) | 5) + std::string(4, 'y') +
                              lengthDelimited(1, pieceMessage("a", 2.25F));
    const auto pieces = SentencePieceProto::parse(model);
    ASSERT_EQ(pieces.size(), 2U);
    EXPECT_EQ(pieces[0], (SentencePieceProto::Piece{.piece = "\u2581the", .score = -1.5F}));
    EXPECT_EQ(pieces[1], (SentencePieceProto::Piece{.piece = "a", .score = 2.25F}));
}

TEST(SentencePieceTokenizerTests, FillsMissingFieldsAndKeepsTheLastOfARepeatedOne) {
    const std::string scoreOnly = "\x15" + std::string("\x00\x00\x80\x3F", 4);
    const std::string repeated = lengthDelimited(1, "first") + lengthDelimited(1, "last") + lengthDelimited(7, "z");
    const auto pieces = SentencePieceProto::parse(lengthDelimited(1, scoreOnly) + lengthDelimited(1, repeated));
    ASSERT_EQ(pieces.size(), 2U);
    EXPECT_EQ(pieces[0], (SentencePieceProto::Piece{.piece = "", .score = 1.0F}));
    EXPECT_EQ(pieces[1], (SentencePieceProto::Piece{.piece = "last", .score = 0.0F}));
    EXPECT_TRUE(SentencePieceProto::parse("").empty());
    EXPECT_EQ(SentencePieceTokenizer("").maxPieceLength(), 0U);
}

TEST(SentencePieceTokenizerTests, RefusesMalformedModels) {
    using enum SentencePieceProto::ParseError;
    const std::string tenBytesOpen = "\x08" + std::string(9, '\xFF') + "\x81";
    // The piece's varint runs to the end of its own message while the outer message goes on.
    const std::string cutVarint = lengthDelimited(1, std::string("\x18\x80", 2)) + lengthDelimited(1, "\x18\x01");
    const struct {
        std::string name;
        std::string bytes;
        std::optional<SentencePieceProto::ParseError> error;
    } cases[] = {
        {"tenth varint byte continues", tenBytesOpen, invalidData},
        {"tenth varint byte ends", "\x08" + std::string(9, '\xFF') + "\x01", std::nullopt},
        {"varint cut by its piece", cutVarint, unexpectedEnd},
        {"varint cut by the data", "\x08\x80", unexpectedEnd},
        {"lone continuation byte", lengthDelimited(1, lengthDelimited(1, "a\x80")), invalidUtf8},
        {"wire type 3", "\x0B", invalidData},
        {"wire type 7 in a piece", lengthDelimited(1, "\x0F"), invalidData},
        {"length past the end",
         "\x0A\x05"
         "ab",
         unexpectedEnd},
        {"huge length", "\x12" + std::string(9, '\xFF') + "\x01", unexpectedEnd},
        {"fixed64 past the end",
         "\x09"
         "abc",
         unexpectedEnd},
        {"score past its piece", lengthDelimited(1, std::string("\x15\x00\x00", 3)) + std::string(2, '\0'),
         unexpectedEnd},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(parseError(testCase.bytes), testCase.error) << testCase.name;
    }
}

TEST(SentencePieceTokenizerTests, EncodesTheBestScoringSegmentation) {
    const struct {
        std::string name;
        Pieces pieces;
        std::string text;
        std::vector<std::int64_t> ids;
    } cases[] = {
        {"one piece beats two", {{"\u2581a", -1}, {"\u2581", -1}, {"a", -1}}, "a", {0}},
        {"an earlier start wins a tie", {{"\u2581ab", -2}, {"\u2581", -1}, {"ab", -1}}, "ab", {0}},
        {"the later of two equal pieces", {{"\u2581", -1}, {"x", -1}, {"x", -1}}, "x", {0, 2}},
        {"a better split of two words",
         {{"\u2581", -1},
          {"\u2581hi", -1},
          {"\u2581the", -3},
          {"re", -1},
          {"\u2581t", -1},
          {"he", -1},
          {"h", -1},
          {"e", -1},
          {"r", -1}},
         "hi there",
         {1, 4, 5, 3}},
        {"a decomposed letter matches a precomposed piece",
         {{"\u2581", -1}, {"\u00E9", -1}, {"xyz", -1}},
         "e\u0301",
         {0, 1}},
        {"a decomposed word matches a precomposed piece",
         {{"\u2581caf\u00E9", -1}, {"\u2581", -1}, {"123456", -1}},
         "cafe\u0301",
         {0}},
        {"a space is a marker", {{"\u2581", -1}}, " ", {0, 0}},
        {"empty text", {{"\u2581", -1}}, "", {}},
        {"uncovered text falls back per character", {{"\u2581", -1}, {"a", -1}, {"b", -1}}, "a#b", {0, 1, 2}},
        {"tabs are not spaces", {{"\u2581", -1}, {"a", -1}}, "a\ta", {0, 1, 1}},
        {"no pieces", {}, "abc", {}},
    };
    for (const auto& testCase : cases) {
        const SentencePieceTokenizer tokenizer(modelBytes(testCase.pieces));
        EXPECT_EQ(tokenizer.encode(testCase.text), testCase.ids) << testCase.name;
    }
}

TEST(SentencePieceTokenizerTests, MeasuresPiecesInScalars) {
    const SentencePieceTokenizer tokenizer(modelBytes({{"\u2581h\u00E9llo", -1}, {"e\u0301", -1}, {"ab", -1}}));
    EXPECT_EQ(tokenizer.maxPieceLength(), 6U);
    EXPECT_EQ(tokenizer.id("ab"), 2);
    EXPECT_EQ(tokenizer.id("zz"), -1);
}

} // namespace
} // namespace quorl
