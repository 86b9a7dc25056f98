#include "QuorlAudio/diarization/streaming/LSEENDFeatureProvider.hpp"
#include "QuorlAudio/diarization/streaming/StreamingChunkQueue.hpp"
#include "tests/QuorlAudio/diarization/streaming/LSEENDTestModel.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace quorl {
namespace {

using testing::smallLSEENDMetadata;

// Two tones, so every mel band moves from frame to frame.
std::vector<float> speech(std::size_t count, std::size_t offset = 0) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        const auto t = static_cast<float>(index + offset);
        samples[index] = 0.3f * std::sin(t * 0.05f) + 0.1f * std::sin(t * 0.31f) * std::sin(t * 0.001f);
    }
    return samples;
}

std::vector<float> values(const platform::ml::MultiArray& array) {
    std::vector<float> result(array.count());
    for (std::size_t index = 0; index < result.size(); ++index) {
        result[index] = static_cast<float>(array.value(index));
    }
    return result;
}

// Every chunk the provider can emit now: its mel window, mask and warm-up.
struct Emitted {
    std::vector<std::vector<float>> windows;
    std::vector<std::vector<float>> masks;
    std::vector<int> warmups;
};

Emitted emitAll(LSEENDFeatureProvider& provider) {
    Emitted emitted;
    while (const auto* input = provider.emitNextChunk()) {
        emitted.windows.push_back(values(*input->melFeatures()));
        emitted.masks.push_back(values(*input->decoderMask()));
        emitted.warmups.push_back(input->warmupFrames());
    }
    return emitted;
}

// Samples of the stream that complete `chunks` audio chunks, the queue's leading zeros counted.
std::size_t samplesFor(const LSEENDMetadata& metadata, int chunks) {
    const int fft = metadata.nFFT();
    return static_cast<std::size_t>(chunks * metadata.chunkSize * metadata.subsampling * metadata.hopLength + fft -
                                    metadata.hopLength - fft / 2);
}

TEST(StreamingChunkQueueTest, ANegativeRightContextShortensTheWindowButNotTheAdvance) {
    StreamingChunkQueue queue(40, 7, -2, 2);
    EXPECT_FALSE(queue.isEmpty());
    EXPECT_EQ(queue.unreadFloats(), 14);
    std::vector<float> values(100);
    std::iota(values.begin(), values.end(), 1.0f);
    queue.append(values);
    EXPECT_EQ(queue.readyChunks(), 1);

    const auto window = queue.popNextChunk();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->size(), 90u);
    EXPECT_EQ((*window)[13], 0.0f);
    EXPECT_EQ((*window)[14], 1.0f);
    EXPECT_EQ(queue.unreadFloats(), 34);
    EXPECT_FALSE(queue.popNextChunk());

    queue.append(std::span<const float>(values).first(70));
    EXPECT_EQ(queue.readyChunks(), 1);
    const auto all = queue.popAllChunks();
    ASSERT_TRUE(all);
    EXPECT_EQ(all->front(), 67.0f);
    EXPECT_EQ(queue.unreadFloats(), 24);

    queue.reset();
    EXPECT_EQ(queue.unreadFloats(), 14);
}

TEST(StreamingChunkQueueTest, AWindowOfSeveralChunksKeepsTheContextOfTheNext) {
    StreamingChunkQueue queue(4, 2, 1, 1);
    queue.append(std::vector<float>(11, 1.0f));
    EXPECT_EQ(queue.readyChunks(), 2);
    EXPECT_EQ(queue.popAllChunks()->size(), 11u);
    EXPECT_EQ(queue.unreadFloats(), 5);
    EXPECT_FALSE(queue.hasChunk());
}

TEST(LSEENDFeatureProviderTest, TheWarmupSpreadsOverChunksAndRestartsAfterAReset) {
    auto metadata = smallLSEENDMetadata();
    metadata.chunkSize = 10;
    metadata.convDelay = 25;
    LSEENDFeatureProvider provider(metadata);
    for (int round = 0; round < 2; ++round) {
        provider.enqueueAudio(speech(samplesFor(metadata, 5)), std::nullopt, true);
        EXPECT_EQ(provider.readyChunks(), 5);
        const auto emitted = emitAll(provider);
        EXPECT_EQ(emitted.warmups, (std::vector<int>{10, 10, 5, 0, 0}));
        EXPECT_EQ(std::accumulate(emitted.masks[2].begin(), emitted.masks[2].end(), 0.0f), 5.0f);
        EXPECT_EQ(emitted.masks[2][4], 0.0f);
        EXPECT_EQ(emitted.masks[2][5], 1.0f);
        provider.reset();
    }
}

TEST(LSEENDFeatureProviderTest, WindowsHoldTheContextAndTheFirstNormalisedFrameIsZero) {
    const auto metadata = smallLSEENDMetadata();
    LSEENDFeatureProvider provider(metadata);
    provider.enqueueAudio(speech(samplesFor(metadata, 1) - 1), std::nullopt, true);
    EXPECT_EQ(provider.emitNextChunk(), nullptr);
    provider.enqueueAudio(speech(1), std::nullopt, false);
    const auto emitted = emitAll(provider);
    ASSERT_EQ(emitted.windows.size(), 1u);
    const auto& window = emitted.windows[0];
    const auto mels = static_cast<std::size_t>(metadata.nMels);
    EXPECT_EQ(window.size(), static_cast<std::size_t>(metadata.melFrames()) * mels);
    const auto frame = [&](std::size_t index) {
        return std::vector<float>(window.begin() + static_cast<long>(index * mels),
                                  window.begin() + static_cast<long>((index + 1) * mels));
    };
    const auto context = static_cast<std::size_t>(metadata.contextSize);
    EXPECT_EQ(frame(0), std::vector<float>(mels, 0.0f));
    EXPECT_EQ(frame(context), std::vector<float>(mels, 0.0f));
    EXPECT_NE(frame(context + 1), std::vector<float>(mels, 0.0f));
    EXPECT_EQ(emitted.warmups, (std::vector<int>{3}));
}

TEST(LSEENDFeatureProviderTest, FramesDoNotDependOnHowTheAudioArrives) {
    const auto metadata = smallLSEENDMetadata();
    const auto audio = speech(samplesFor(metadata, 4) + 500);
    LSEENDFeatureProvider whole(metadata);
    whole.enqueueAudio(audio, std::nullopt, true);
    whole.drainRightContextWithSilence(true);
    const auto expected = emitAll(whole);

    LSEENDFeatureProvider pieces(metadata);
    Emitted emitted;
    for (std::size_t start = 0; start < audio.size(); start += 777) {
        const auto piece =
            std::span<const float>(audio).subspan(start, std::min<std::size_t>(777, audio.size() - start));
        pieces.enqueueAudio(piece, std::nullopt, start % 2 == 0);
        const auto some = emitAll(pieces);
        emitted.windows.insert(emitted.windows.end(), some.windows.begin(), some.windows.end());
    }
    pieces.drainRightContextWithSilence(false);
    const auto rest = emitAll(pieces);
    emitted.windows.insert(emitted.windows.end(), rest.windows.begin(), rest.windows.end());
    EXPECT_EQ(emitted.windows.size(), 6u);
    EXPECT_EQ(emitted.windows, expected.windows);
}

TEST(LSEENDFeatureProviderTest, TheDrainLeavesWholeChunksOfAudio) {
    const auto metadata = smallLSEENDMetadata();
    for (const std::size_t samples : {0u, 1u, 3000u, 9999u}) {
        LSEENDFeatureProvider provider(metadata);
        provider.enqueueAudio(speech(samples), std::nullopt, false);
        provider.drainRightContextWithSilence(false);
        const auto queue = provider.takeSnapshot().audioQueue;
        EXPECT_EQ((queue.unreadFloats() - queue.contextFloats()) % provider.samplesPerChunk(), 0) << samples;
        EXPECT_GT(queue.readyChunks(), 0) << samples;
    }
}

TEST(LSEENDFeatureProviderTest, RollbackRestoresTheStreamWithOrWithoutTheModelState) {
    const auto metadata = smallLSEENDMetadata();
    for (const bool keepingState : {true, false}) {
        LSEENDFeatureProvider provider(metadata);
        provider.enqueueAudio(speech(samplesFor(metadata, 1)), std::nullopt, true);
        provider.emitNextChunk()->state().encRetScale()->setValue(0, 1);
        provider.enqueueAudio(speech(3200, samplesFor(metadata, 1)), std::nullopt, true);
        auto snapshot = provider.takeSnapshot();

        auto* input = provider.emitNextChunk();
        const auto window = values(*input->melFeatures());
        input->state().encRetScale()->setValue(0, 2);
        provider.enqueueAudio(speech(9000), std::nullopt, true);
        provider.rollback(std::move(snapshot), keepingState);

        EXPECT_EQ(provider.readyChunks(), 1);
        input = provider.emitNextChunk();
        EXPECT_EQ(values(*input->melFeatures()), window);
        EXPECT_EQ(input->warmupFrames(), 0);
        EXPECT_EQ(input->state().encRetScale()->value(0), keepingState ? 2 : 1);
        EXPECT_EQ(input->predictionOptions().outputBackings.at("enc_scale_new"), input->state().encRetScale());
        EXPECT_EQ(provider.emitNextChunk(), nullptr);
    }
}

} // namespace
} // namespace quorl
