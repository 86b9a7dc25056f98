#include "Mirvo/ParaformerChunker.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {
namespace {

constexpr std::size_t chunk = ParaformerChunker::chunkSamples;
constexpr std::size_t overflow = ParaformerChunker::overflowLimit;

// Samples whose value is their position in the stream, counted from 1.
std::vector<float> stream(std::size_t first, std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = static_cast<float>(first + index + 1);
    }
    return samples;
}

TEST(ParaformerChunkerTests, ABufferThatFillsTheChunkExactlyHandsOverNothingUntilTheNextOne) {
    ParaformerChunker chunker;
    chunker.begin();
    EXPECT_FALSE(chunker.append(stream(0, chunk - 10)));
    EXPECT_FALSE(chunker.append(stream(chunk - 10, 10)));
    EXPECT_FALSE(chunker.isFlushing());

    const auto handed = chunker.append(stream(chunk, 7));
    ASSERT_TRUE(handed);
    EXPECT_EQ(handed->samples, stream(0, chunk));
    EXPECT_TRUE(chunker.isFlushing());
    EXPECT_EQ(chunker.end().remainder, stream(chunk, 7));
}

TEST(ParaformerChunkerTests, ABufferCrossingTheChunkHandsOverTheFullChunkAndStartsTheNextWithTheRest) {
    ParaformerChunker chunker;
    chunker.begin();
    EXPECT_FALSE(chunker.append(stream(0, chunk - 3)));
    const auto handed = chunker.append(stream(chunk - 3, 5));
    ASSERT_TRUE(handed);
    EXPECT_EQ(handed->samples, stream(0, chunk));
    EXPECT_EQ(handed->generation, chunker.generation());
    EXPECT_EQ(chunker.end().remainder, stream(chunk, 2));
}

TEST(ParaformerChunkerTests, AudioWaitsInTheOverflowWhileAChunkIsTranscribedAndOpensTheNextChunkAfterwards) {
    ParaformerChunker chunker;
    chunker.begin();
    ASSERT_TRUE(chunker.append(stream(0, chunk + 1)));
    EXPECT_FALSE(chunker.append(stream(chunk + 1, chunk - 1)));
    // The gathering chunk is full: 10 s more wait, anything beyond is dropped.
    EXPECT_FALSE(chunker.append(stream(2 * chunk, overflow - 4)));
    EXPECT_FALSE(chunker.append(stream(2 * chunk + overflow - 4, 9)));

    const auto next = chunker.finishChunk(chunker.generation(), "a");
    ASSERT_TRUE(next);
    EXPECT_EQ(next->samples, stream(chunk, chunk));
    EXPECT_TRUE(chunker.isFlushing());
    EXPECT_EQ(chunker.committedText(), "a");
    const auto ending = chunker.end();
    EXPECT_EQ(ending.remainder, stream(2 * chunk, overflow));
    EXPECT_EQ(ending.committedText, "a");
}

TEST(ParaformerChunkerTests, TheEndGivesEveryUnsentSampleTheOverflowIncluded) {
    ParaformerChunker chunker;
    chunker.begin();
    ASSERT_TRUE(chunker.append(stream(0, chunk + 1)));
    EXPECT_FALSE(chunker.append(stream(chunk + 1, chunk + 20)));
    const auto ending = chunker.end();
    EXPECT_TRUE(ending.wasListening);
    EXPECT_EQ(ending.remainder, stream(chunk, chunk + 21));
    EXPECT_FALSE(chunker.isListening());

    // Nothing is gathered once the session is over, and a second end finds nothing.
    EXPECT_FALSE(chunker.append(stream(0, 10)));
    const auto again = chunker.end();
    EXPECT_FALSE(again.wasListening);
    EXPECT_TRUE(again.remainder.empty());
    EXPECT_EQ(again.committedText, "");
}

TEST(ParaformerChunkerTests, ResultsJoinTheCommittedTextOfTheirOwnSessionOnly) {
    ParaformerChunker chunker;
    chunker.begin();
    const auto first = chunker.append(stream(0, chunk + 1));
    ASSERT_TRUE(first);
    EXPECT_FALSE(chunker.finishChunk(first->generation, std::nullopt));
    EXPECT_EQ(chunker.committedText(), "");
    const auto second = chunker.append(stream(chunk + 1, chunk));
    ASSERT_TRUE(second);
    EXPECT_FALSE(chunker.finishChunk(second->generation, ""));
    EXPECT_EQ(chunker.committedText(), "");

    const auto third = chunker.append(stream(2 * chunk + 1, chunk));
    ASSERT_TRUE(third);
    // A newer session began while the third chunk was transcribed: its result is not that session's, and the
    // new session's own chunk is still being transcribed afterwards.
    chunker.begin();
    const auto fourth = chunker.append(stream(0, chunk + 1));
    ASSERT_TRUE(fourth);
    EXPECT_FALSE(chunker.finishChunk(third->generation, "late"));
    EXPECT_EQ(chunker.committedText(), "");
    EXPECT_TRUE(chunker.isFlushing());

    // A result of the session that has just ended still joins its text.
    chunker.end();
    EXPECT_FALSE(chunker.finishChunk(fourth->generation, "after the end"));
    EXPECT_EQ(chunker.end().committedText, "after the end");
}

TEST(ParaformerChunkerTests, ARemainderIsCutIntoPiecesOfAtMostOneChunk) {
    const struct {
        std::size_t samples;
        std::vector<std::size_t> pieces;
    } cases[] = {
        {0, {}}, {1, {1}}, {chunk, {chunk}}, {chunk + overflow, {chunk, overflow}}, {2 * chunk + 1, {chunk, chunk, 1}}};
    for (const auto& c : cases) {
        const auto samples = stream(0, c.samples);
        std::vector<std::size_t> sizes;
        std::size_t next = 0;
        for (const auto piece : ParaformerChunker::pieces(samples)) {
            EXPECT_EQ(piece.data(), samples.data() + next) << c.samples;
            next += piece.size();
            sizes.push_back(piece.size());
        }
        EXPECT_EQ(sizes, c.pieces) << c.samples;
    }
}

TEST(ParaformerChunkerTests, UtterancesJoinWithOneSpaceBetweenNonEmptyParts) {
    const struct {
        std::string first;
        std::string second;
        std::string joined;
    } cases[] = {{"", "", ""}, {"a", "", "a"}, {"", "b", "b"}, {"a", "b", "a b"}};
    for (const auto& c : cases) {
        EXPECT_EQ(ParaformerChunker::joinUtterance(c.first, c.second), c.joined) << c.first << "|" << c.second;
    }
}

} // namespace
} // namespace mirvo
