#include "QuorlAudio/asr/streaming/StreamingAsrUtils.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

std::vector<float> ramp(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = static_cast<float>(index + 1);
    }
    return samples;
}

TEST(StreamingAsrUtilsTests, ProcessRemainingAudioPadsTheLastChunkAndEmptiesTheBuffer) {
    std::vector<std::vector<float>> chunks;
    const auto record = [&](std::span<const float> chunk) { chunks.emplace_back(chunk.begin(), chunk.end()); };

    std::vector<float> empty;
    EXPECT_FALSE(StreamingAsrUtils::processRemainingAudio(empty, 2560, record));
    EXPECT_TRUE(chunks.empty());

    std::vector<float> buffer = ramp(100);
    EXPECT_TRUE(StreamingAsrUtils::processRemainingAudio(buffer, 2560, record));
    ASSERT_EQ(chunks.size(), 1u);
    std::vector<float> expected = ramp(100);
    expected.resize(2560, 0.0f);
    EXPECT_EQ(chunks[0], expected);
    EXPECT_TRUE(buffer.empty());
}

TEST(StreamingAsrUtilsTests, ProcessRemainingAudioDropsNoSampleBeyondTheFirstChunk) {
    std::vector<std::vector<float>> chunks;
    std::vector<float> buffer = ramp(25);
    StreamingAsrUtils::processRemainingAudio(
        buffer, 10, [&](std::span<const float> chunk) { chunks.emplace_back(chunk.begin(), chunk.end()); });
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[1].front(), 11.0f);
    EXPECT_EQ(chunks[2], (std::vector<float>{21, 22, 23, 24, 25, 0, 0, 0, 0, 0}));
}

TEST(StreamingAsrUtilsTests, AFailingChunkStaysPaddedInTheBuffer) {
    std::vector<float> buffer = ramp(100);
    EXPECT_THROW(StreamingAsrUtils::processRemainingAudio(
                     buffer, 2560, [](std::span<const float>) { throw std::runtime_error("model failed"); }),
                 std::runtime_error);
    EXPECT_EQ(buffer.size(), 2560u);
    EXPECT_EQ(buffer[99], 100.0f);
    EXPECT_THROW(StreamingAsrUtils::processRemainingAudio(buffer, 0, [](std::span<const float>) {}),
                 std::invalid_argument);
}

TEST(StreamingAsrUtilsTests, ResetSharedStateClearsAll) {
    std::vector<float> audio = ramp(3);
    std::vector<std::int64_t> ids{1, 2};
    int chunks = 7;
    StreamingAsrUtils::resetSharedState(audio, ids, chunks);
    EXPECT_TRUE(audio.empty());
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(chunks, 0);
}

} // namespace
} // namespace quorl
