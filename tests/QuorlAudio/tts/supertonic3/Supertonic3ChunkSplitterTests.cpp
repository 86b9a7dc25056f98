#include "QuorlAudio/tts/supertonic3/Supertonic3ChunkSplitter.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3UnicodeProcessor.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

namespace splitter = Supertonic3ChunkSplitter;
using Chunks = std::vector<std::string>;

std::size_t taggedScalars(const std::string& text, const std::string& language) {
    return platform::text::decodeScalars(Supertonic3UnicodeProcessor::preprocess(text, language)).size();
}

std::string repeated(const std::string& word, std::size_t times) {
    std::string text;
    for (std::size_t index = 0; index < times; ++index) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

TEST(Supertonic3ChunkSplitterTest, AChunkThatFitsIsKeptWhole) {
    const Chunks chunks{"Hello there.", repeated("word", 20)};
    const auto split = splitter::fitToEncoder(chunks, "en");
    EXPECT_EQ(split.chunks, chunks);
    EXPECT_TRUE(split.overlongWords.empty());
}

TEST(Supertonic3ChunkSplitterTest, AFullKoreanChunkIsCutAtWordsSoEveryPieceFits) {
    // 57 characters: eighteen words of two syllables and one of three, most syllables three jamo once decomposed.
    const std::string chunk = repeated("\uD55C\uAD6D", 18) + " \uC548\uB155\uD558";
    ASSERT_EQ(platform::text::characterCount(chunk), 57U);
    ASSERT_GT(taggedScalars(chunk, "ko"), 128U);

    const auto split = splitter::fitToEncoder({chunk}, "ko");
    ASSERT_GT(split.chunks.size(), 1U);
    for (const auto& piece : split.chunks) {
        EXPECT_LE(taggedScalars(piece, "ko"), 128U) << piece;
    }
    EXPECT_EQ(platform::text::joined(split.chunks, " "), chunk);
    EXPECT_TRUE(split.overlongWords.empty());
}

TEST(Supertonic3ChunkSplitterTest, AWordThatCannotFitStandsAloneAndIsReported) {
    const std::string word(150, 'a');
    const auto split = splitter::fitToEncoder({"Say " + word + " now"}, "en");
    EXPECT_EQ(split.chunks, (Chunks{"Say", word, "now"}));
    EXPECT_EQ(split.overlongWords, Chunks{word});
}

} // namespace
} // namespace quorl
