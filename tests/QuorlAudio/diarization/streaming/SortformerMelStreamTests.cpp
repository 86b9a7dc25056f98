#include "QuorlAudio/diarization/streaming/SortformerMelStream.hpp"

#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace quorl {
namespace {

std::vector<float> speechLike(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        const double time = static_cast<double>(index) / 16000.0;
        samples[index] = static_cast<float>(0.3 * std::sin(2 * M_PI * 220 * time) * std::sin(2 * M_PI * 1.5 * time) +
                                            0.05 * std::sin(2 * M_PI * 3100 * time));
    }
    return samples;
}

// One centred pass over the whole recording with the same front end.
std::vector<float> wholeRecordingFrames(const std::vector<float>& samples) {
    AudioMelSpectrogram front;
    auto result = front.computeFlatTransposed(samples, 0.0f, AudioMelSpectrogram::PaddingMode::center, std::nullopt);
    result.mel.resize(static_cast<std::size_t>(result.melLength) * 128);
    return result.mel;
}

std::vector<float> streamedFrames(const std::vector<float>& samples, const std::vector<std::size_t>& pieces) {
    SortformerMelStream stream;
    std::vector<float> frames;
    std::size_t position = 0;
    for (std::size_t piece = 0; position < samples.size(); ++piece) {
        const std::size_t count = std::min(pieces[piece % pieces.size()], samples.size() - position);
        stream.append(std::span(samples).subspan(position, count));
        position += count;
        const auto ready = stream.takeCompleteFrames();
        frames.insert(frames.end(), ready.begin(), ready.end());
    }
    const auto last = stream.takeFinalFrames();
    frames.insert(frames.end(), last.begin(), last.end());
    return frames;
}

TEST(SortformerMelStreamTest, FramesEqualOneCentredPassHoweverTheAudioIsSplit) {
    const auto samples = speechLike(160000);
    const auto expected = wholeRecordingFrames(samples);
    ASSERT_EQ(expected.size(), 1001u * 128);
    for (const auto& pieces : std::vector<std::vector<std::size_t>>{{160000}, {1, 399, 1601, 7, 160}, {4096}}) {
        EXPECT_EQ(streamedFrames(samples, pieces), expected) << pieces.size() << " piece sizes";
    }
}

TEST(SortformerMelStreamTest, AFrameWaitsForEverySampleUnderItsWindow) {
    SortformerMelStream stream;
    const auto samples = speechLike(16000);
    stream.append(std::span(samples).first(255));
    EXPECT_TRUE(stream.takeCompleteFrames().empty());
    stream.append(std::span(samples).subspan(255, 1));
    EXPECT_EQ(stream.takeCompleteFrames().size(), 128u);
    stream.append(std::span(samples).subspan(256, 159));
    EXPECT_TRUE(stream.takeCompleteFrames().empty());
    EXPECT_EQ(stream.framesProduced(), 1);
}

TEST(SortformerMelStreamTest, AnEmptyStreamHasNoFramesAndAFinishedOneStartsAgain) {
    SortformerMelStream stream;
    EXPECT_TRUE(stream.takeFinalFrames().empty());
    const auto samples = speechLike(1000);
    stream.append(samples);
    EXPECT_EQ(stream.takeCompleteFrames().size() + stream.takeFinalFrames().size(),
              wholeRecordingFrames(samples).size());
    EXPECT_EQ(stream.samplesReceived(), 0);
    stream.append(samples);
    EXPECT_EQ(stream.takeFinalFrames(), wholeRecordingFrames(samples));
}

TEST(SortformerMelStreamTest, SilenceIsTheLogarithmOfTheFloor) {
    EXPECT_FLOAT_EQ(SortformerMelStream::silenceValue(), std::log(0x1p-24f));
}

} // namespace
} // namespace quorl
