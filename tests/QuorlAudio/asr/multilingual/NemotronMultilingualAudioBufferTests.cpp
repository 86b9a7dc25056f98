#include "QuorlAudio/asr/multilingual/NemotronMultilingualAudioBuffer.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace quorl {
namespace {

TEST(NemotronMultilingualAudioBufferTests, ConsumedSamplesAreDroppedOnlyAfterTheSeventeenthChunk) {
    constexpr std::size_t chunk = 4;
    NemotronMultilingualAudioBuffer buffer;
    std::vector<float> samples(20 * chunk);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<float>(i);
    }
    buffer.append(samples);
    for (int taken = 1; taken <= 16; ++taken) {
        buffer.advance(chunk);
    }
    EXPECT_EQ(buffer.offset(), 16 * chunk);
    EXPECT_EQ(buffer.size(), samples.size());

    buffer.advance(chunk);

    EXPECT_EQ(buffer.offset(), 0u);
    EXPECT_EQ(buffer.size(), 3 * chunk);
    EXPECT_EQ(buffer.chunk(chunk)[0], 68.0F);
}

TEST(NemotronMultilingualAudioBufferTests, PaddingMakesThePendingSamplesOneWholeChunk) {
    NemotronMultilingualAudioBuffer buffer;
    const std::vector<float> one{0.5F};
    buffer.append(one);
    buffer.padToChunk(17920);
    ASSERT_EQ(buffer.pending(), 17920u);
    const auto chunk = buffer.chunk(17920);
    EXPECT_EQ(chunk[0], 0.5F);
    EXPECT_EQ(chunk[17919], 0.0F);
    buffer.clear();
    EXPECT_EQ(buffer.pending(), 0u);
    EXPECT_EQ(buffer.offset(), 0u);
}

} // namespace
} // namespace quorl
