#include "QuorlAudio/tts/pockettts/PocketTtsTextPreparation.hpp"

#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl::PocketTtsSynthesizer {

// How a chunk reads in a failed expectation.
void PrintTo(const TextChunk& chunk, std::ostream* stream) {
    *stream << "'" << chunk.text << "'" << (chunk.isMidSentence ? " (mid)" : "");
}

namespace {

using Strings = std::vector<std::string>;

class PocketTtsTextPreparationTests : public testing::Test {
protected:
    // Every text counts one token per scalar plus one for the leading marker.
    const SentencePieceTokenizer tokenizer = pocketttsfixtures::characterTokenizer();
};

TEST_F(PocketTtsTextPreparationTests, SplitsSentencesAfterStopsThatEndThem) {
    const struct {
        std::string text;
        PocketTtsLanguage language;
        Strings sentences;
    } cases[] = {
        {"Dr. Smith arrived. He sat.", PocketTtsLanguage::english, {"Dr. Smith arrived.", "He sat."}},
        {"It cost 3.50 dollars.", PocketTtsLanguage::english, {"It cost 3.50 dollars."}},
        {"J. Doe left.", PocketTtsLanguage::english, {"J. Doe left."}},
        {"Mme. Curie arrived.", PocketTtsLanguage::english, {"Mme.", "Curie arrived."}},
        {"Mme. Curie arrived.", PocketTtsLanguage::french24L, {"Mme. Curie arrived."}},
        {"Wait... what?", PocketTtsLanguage::english, {"Wait.", ".", ".", "what?"}},
        {"Stop! Go?  Now", PocketTtsLanguage::english, {"Stop!", "Go?", "Now"}},
        {"\u00C9. Zola wrote.", PocketTtsLanguage::english, {"\u00C9. Zola wrote."}},
        {"  ", PocketTtsLanguage::english, {}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(splitSentences(testCase.text, testCase.language), testCase.sentences) << testCase.text;
    }
}

TEST_F(PocketTtsTextPreparationTests, SplitsClausesButNotNumbers) {
    const struct {
        std::string text;
        Strings clauses;
    } cases[] = {
        {"It was 1,000 feet", {"It was 1,000 feet"}},
        {"one, two; three: four", {"one,", "two;", "three:", "four"}},
        {",1,", {",", "1,"}},
        {"a,1", {"a,", "1"}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(splitAtClauseBoundaries(testCase.text), testCase.clauses) << testCase.text;
    }
}

TEST_F(PocketTtsTextPreparationTests, SplitsAtWordsAndRepairsAnOrphan) {
    const struct {
        std::string text;
        std::int64_t maxTokens;
        Strings pieces;
    } cases[] = {
        {"supercalifragilistic", 3, {"supercalifragilistic"}},
        {"aa bb cc dd", 9, {"aa bb", "cc dd"}},
        {"aa bb cc dd ee", 9, {"aa bb cc", "dd ee"}},
        {"aaaaaaaaaaaa bb", 9, {"aaaaaaaaaaaa", "bb"}},
        {"aa bb", 9, {"aa bb"}},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(splitAtWordBoundaries(testCase.text, tokenizer, testCase.maxTokens), testCase.pieces)
            << testCase.text;
    }
}

TEST_F(PocketTtsTextPreparationTests, KeepsATextWithinTheLimitWhole) {
    const struct {
        std::string text;
        PocketTtsLanguage language;
        std::string chunk;
    } cases[] = {
        {"  Hi. Go now.\n", PocketTtsLanguage::english, "Hi. Go now."},
        {"", PocketTtsLanguage::english, ""},
        {"\u2018a\u2019 \u201Cb\u201D", PocketTtsLanguage::english, "'a' \"b\""},
        {"\u00ABa\u00BB\u00A0b\u202Fc", PocketTtsLanguage::english, "\u00ABa\u00BB\u00A0b\u202Fc"},
        {"\u00ABa\u00BB\u00A0b\u202Fc", PocketTtsLanguage::french24L, "\"a\" b c"},
    };
    for (const auto& testCase : cases) {
        const std::vector<TextChunk> expected{TextChunk{.text = testCase.chunk, .isMidSentence = false}};
        EXPECT_EQ(chunkTextWithMetadata(testCase.text, tokenizer, 50, testCase.language), expected) << testCase.text;
    }
}

TEST_F(PocketTtsTextPreparationTests, CutsALongTextIntoMergedSentencesAndSentenceParts) {
    const auto chunks =
        chunkTextWithMetadata("Hi. Yo. aaaa bbbb, cccc dddd eeee. Ok.", tokenizer, 12, PocketTtsLanguage::english);
    EXPECT_EQ(chunks, (std::vector<TextChunk>{{.text = "Hi. Yo.", .isMidSentence = false},
                                              {.text = "aaaa bbbb,", .isMidSentence = false},
                                              {.text = "cccc", .isMidSentence = true},
                                              {.text = "dddd eeee.", .isMidSentence = true},
                                              {.text = "Ok.", .isMidSentence = false}}));
}

TEST_F(PocketTtsTextPreparationTests, NormalizesChunksForEncoding) {
    const struct {
        std::string text;
        bool isMidSentence;
        PocketTtsLanguage language;
        std::string normalized;
        std::int64_t framesAfterEos;
    } cases[] = {
        {"hello, world;", false, PocketTtsLanguage::english, "        Hello, world.", 3},
        {"hello, world;", true, PocketTtsLanguage::english, "hello, world;", 1},
        {"one two three four five", false, PocketTtsLanguage::english, "One two three four five.", 1},
        {"one two  three\n four?", false, PocketTtsLanguage::english, "        One two three four?", 3},
        {",;:", false, PocketTtsLanguage::english, "        ", 3},
        {"\u00E9t\u00E9 \u201Cici\u201D", false, PocketTtsLanguage::english, "        \u00C9t\u00E9 \"ici\".", 3},
        {"\u00ABoui\u00BB", true, PocketTtsLanguage::french24L, "\"oui\"", 1},
        {"\u00ABoui\u00BB", true, PocketTtsLanguage::english, "\u00ABoui\u00BB", 1},
        {"3 cats", false, PocketTtsLanguage::english, "        3 cats.", 3},
    };
    for (const auto& testCase : cases) {
        const auto normalized = normalizeText(testCase.text, testCase.isMidSentence, testCase.language);
        EXPECT_EQ(normalized.text, testCase.normalized) << testCase.text;
        EXPECT_EQ(normalized.framesAfterEos, testCase.framesAfterEos) << testCase.text;
    }
}

TEST_F(PocketTtsTextPreparationTests, EmbedsTokensAndClampsOutOfRangeIds) {
    std::vector<float> table(3 * 1024);
    for (std::size_t index = 0; index < table.size(); ++index) {
        table[index] = static_cast<float>(index / 1024);
    }
    const PocketTtsConstantsBundle constants{
        .bosEmbedding = {}, .textEmbedTable = table, .tokenizer = tokenizer, .bosBeforeVoice = std::nullopt};
    testsupport::RecordingLogSink sink;
    const auto rows = embedTokens({1, 3, -1, 0}, constants);
    ASSERT_EQ(rows.size(), 4U);
    const float expectedRows[] = {1, 2, 0, 0};
    for (std::size_t index = 0; index < rows.size(); ++index) {
        EXPECT_EQ(rows[index], std::vector<float>(1024, expectedRows[index])) << index;
    }
    EXPECT_EQ(sink.messages("PocketTtsSynthesizer"),
              (Strings{"Token ID 3 out of range [0, 3), clamping", "Token ID -1 out of range [0, 3), clamping"}));
    EXPECT_TRUE(embedTokens({}, constants).empty());
}

} // namespace
} // namespace quorl::PocketTtsSynthesizer
