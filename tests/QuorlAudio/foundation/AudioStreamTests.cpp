#include "QuorlAudio/foundation/AudioStream.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/AudioConverterError.hpp"
#include "QuorlAudio/foundation/AudioStreamError.hpp"
#include "platform/core/ThreadPool.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <list>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Chunking = AudioStreamChunkingStrategy;
using Startup = AudioStreamStartupStrategy;
using platform::audio::AudioFormat;
using platform::audio::CommonFormat;
using platform::audio::FormatDescription;
using platform::audio::PCMBuffer;
using platform::audio::SampleBuffer;
using platform::audio::StreamDescription;

constexpr double start = 10.0;
constexpr double rate = 16000.0;

// One-second chunks every quarter second at 16 kHz, starting at 10 s.
AudioStream makeStream(Chunking chunking, Startup startup, std::optional<double> capacitySeconds = std::nullopt) {
    return AudioStream(1.0, 0.25, start, chunking, startup, rate, capacitySeconds);
}

// Samples numbered from `first`, so every sample says where it came from.
std::vector<float> numbered(std::size_t count, float first = 1.0f) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = first + static_cast<float>(index);
    }
    return samples;
}

std::vector<float> concatenate(std::vector<float> front, const std::vector<float>& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

std::vector<float> part(const std::vector<float>& samples, std::size_t from, std::size_t count) {
    return {samples.begin() + static_cast<std::ptrdiff_t>(from),
            samples.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

void expectChunk(AudioStream& stream, const std::vector<float>& samples, double startTime, const std::string& what) {
    const auto chunk = stream.readChunkIfAvailable();
    ASSERT_TRUE(chunk.has_value()) << what;
    EXPECT_EQ(chunk->chunk, samples) << what;
    EXPECT_NEAR(chunk->chunkStartTime, startTime, 1e-9) << what;
}

TEST(AudioStreamTests, SizesFollowDurationsAndRate) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk);
    EXPECT_EQ(stream.chunkSize(), 16000);
    EXPECT_EQ(stream.skipSize(), 4000);
    EXPECT_EQ(stream.overlapSize(), 12000);
    EXPECT_DOUBLE_EQ(stream.chunkOverlap(), 0.75);
    EXPECT_EQ(stream.chunkingStrategy(), Chunking::useFixedSkip);
    EXPECT_FALSE(stream.hasNewChunk());

    // Without a skip, chunks follow each other without overlap; halves round away from zero.
    const AudioStream adjacent(0.25, std::nullopt, 0.0, Chunking::useMostRecent, Startup::startSilent, 2.0,
                               std::nullopt);
    EXPECT_EQ(adjacent.chunkSize(), 1);
    EXPECT_DOUBLE_EQ(adjacent.chunkSkip(), 0.25);
    EXPECT_EQ(adjacent.overlapSize(), 0);
}

TEST(AudioStreamTests, RejectsConfigurationsThatCannotChunk) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double chunkDuration;
        std::optional<double> chunkSkip;
        double sampleRate;
        std::optional<double> capacitySeconds;
        AudioStreamError::Kind kind;
    } cases[] = {
        {0.00001, std::nullopt, rate, std::nullopt, AudioStreamError::Kind::invalidChunkDuration},
        {-1.0, std::nullopt, rate, std::nullopt, AudioStreamError::Kind::invalidChunkDuration},
        {1.0, std::nullopt, 0.0, std::nullopt, AudioStreamError::Kind::invalidChunkDuration},
        {-1.0, std::nullopt, -rate, std::nullopt, AudioStreamError::Kind::invalidChunkDuration},
        {nan, std::nullopt, rate, std::nullopt, AudioStreamError::Kind::invalidChunkDuration},
        {1.0, std::nullopt, infinity, std::nullopt, AudioStreamError::Kind::invalidChunkDuration},
        {1.0, 1.5, rate, std::nullopt, AudioStreamError::Kind::invalidChunkSkip},
        {1.0, 0.0, rate, std::nullopt, AudioStreamError::Kind::invalidChunkSkip},
        {1.0, nan, rate, std::nullopt, AudioStreamError::Kind::invalidChunkSkip},
        {1.0, 0.25, rate, 0.5, AudioStreamError::Kind::bufferTooSmall},
        {1.0, 0.25, rate, -3.0, AudioStreamError::Kind::bufferTooSmall},
        {1.0, 0.25, rate, infinity, AudioStreamError::Kind::bufferTooSmall},
    };
    for (const auto& c : cases) {
        try {
            AudioStream stream(c.chunkDuration, c.chunkSkip, 0.0, Chunking::useFixedSkip, Startup::startSilent,
                               c.sampleRate, c.capacitySeconds);
            ADD_FAILURE() << c.chunkDuration << ", " << c.sampleRate;
        } catch (const AudioStreamError& error) {
            EXPECT_EQ(error.kind(), c.kind) << c.chunkDuration << ", " << c.sampleRate;
        }
    }
}

TEST(AudioStreamTests, ErrorsCompareByCaseAndCarryTheGenericText) {
    EXPECT_STREQ(AudioStreamError::bufferTooSmall().what(),
                 "The operation couldn\u2019t be completed. (QuorlAudio.AudioStreamError error 0.)");
    EXPECT_STREQ(AudioStreamError::invalidChunkSkip().what(),
                 "The operation couldn\u2019t be completed. (QuorlAudio.AudioStreamError error 1.)");
    EXPECT_STREQ(AudioStreamError::invalidChunkDuration().what(),
                 "The operation couldn\u2019t be completed. (QuorlAudio.AudioStreamError error 2.)");
    EXPECT_EQ(AudioStreamError::invalidChunkSkip(), AudioStreamError::invalidChunkSkip());
    EXPECT_FALSE(AudioStreamError::invalidChunkSkip() == AudioStreamError::bufferTooSmall());
    const std::unordered_set<AudioStreamError> distinct{
        AudioStreamError::bufferTooSmall(), AudioStreamError::bufferTooSmall(), AudioStreamError::invalidChunkSkip()};
    EXPECT_EQ(distinct.size(), 2u);
}

TEST(AudioStreamTests, StartSilentOpensWithTheSilentOverlap) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::startSilent);
    const auto first = numbered(4000);
    stream.write(part(first, 0, 3999));
    EXPECT_FALSE(stream.hasNewChunk());
    stream.write(part(first, 3999, 1));
    expectChunk(stream, concatenate(std::vector<float>(12000, 0.0f), first), start - 0.75, "first");
    EXPECT_FALSE(stream.readChunkIfAvailable().has_value());

    const auto second = numbered(4000, 5000.0f);
    stream.write(second);
    expectChunk(stream, concatenate(concatenate(std::vector<float>(8000, 0.0f), first), second), start - 0.5, "second");
}

TEST(AudioStreamTests, RampUpGrowsChunksFromTheStreamStart) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::rampUpChunkSize);
    const auto samples = numbered(24000);
    for (std::size_t size = 4000; size <= 16000; size += 4000) {
        stream.write(part(samples, size - 4000, 4000));
        expectChunk(stream, part(samples, 0, size), start, "ramp-up of " + std::to_string(size));
        EXPECT_FALSE(stream.hasNewChunk());
    }
    stream.write(part(samples, 16000, 4000));
    expectChunk(stream, part(samples, 4000, 16000), start + 0.25, "steady");
    stream.write(part(samples, 20000, 4000));
    expectChunk(stream, part(samples, 8000, 16000), start + 0.5, "steady");
}

TEST(AudioStreamTests, WaitForFullChunkNeedsAWholeChunk) {
    auto stream = makeStream(Chunking::useMostRecent, Startup::waitForFullChunk);
    const auto samples = numbered(16000);
    stream.write(part(samples, 0, 15999));
    EXPECT_FALSE(stream.readChunkIfAvailable().has_value());
    stream.write(part(samples, 15999, 1));
    expectChunk(stream, samples, start, "full");
}

TEST(AudioStreamTests, FallingBehindKeepsTheNewestAudio) {
    const struct {
        Chunking chunking;
        std::size_t kept;
        double advance;
    } cases[] = {
        {Chunking::useMostRecent, 16000, 1.5},
        // The whole default capacity of 1.25 s is kept; chunks then run from its start on the skip grid.
        {Chunking::useFixedSkip, 20000, 1.25},
    };
    for (const auto& c : cases) {
        auto stream = makeStream(c.chunking, Startup::waitForFullChunk);
        const auto samples = numbered(40000);
        stream.write(samples);
        expectChunk(stream, part(samples, 40000 - c.kept, 16000), start + c.advance, "first");
        if (c.chunking == Chunking::useFixedSkip) {
            expectChunk(stream, part(samples, 40000 - c.kept + 4000, 16000), start + c.advance + 0.25, "second");
        }
        EXPECT_FALSE(stream.hasNewChunk());
    }
}

TEST(AudioStreamTests, MostRecentNeedsOneSkipOfNewAudioWhateverWasSkipped) {
    auto stream = makeStream(Chunking::useMostRecent, Startup::waitForFullChunk, 3.0);
    const auto samples = numbered(40000);
    stream.write(part(samples, 0, 16000));
    expectChunk(stream, part(samples, 0, 16000), start, "first");
    stream.write(part(samples, 16000, 10000));
    expectChunk(stream, part(samples, 10000, 16000), start + 0.625, "newest");
    stream.write(part(samples, 26000, 3999));
    EXPECT_FALSE(stream.hasNewChunk());
    stream.write(part(samples, 29999, 1));
    expectChunk(stream, part(samples, 14000, 16000), start + 0.875, "after one skip");
}

TEST(AudioStreamTests, TimeStampsInsertSilenceOrOverwrite) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    const auto first = numbered(4000);
    const auto second = numbered(4000, 10000.0f);
    // A stamp is the stream time just after the last sample written.
    stream.write(first, start + 0.25);
    stream.write(second, start + 0.5 + 0.5);
    expectChunk(stream, concatenate(concatenate(first, std::vector<float>(8000, 0.0f)), second), start, "gap");

    auto overwritten = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    const auto third = numbered(8000, 20000.0f);
    overwritten.write(numbered(8000), start + 0.5);
    overwritten.write(part(third, 0, 4000), start + 0.5);
    overwritten.write(part(third, 4000, 4000));
    overwritten.write(numbered(4000, 30000.0f));
    expectChunk(overwritten, concatenate(concatenate(numbered(4000), third), numbered(4000, 30000.0f)), start,
                "overlap");
}

TEST(AudioStreamTests, AStampBeforeTheBufferMovesItsStartEarlier) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    stream.write(numbered(4000));
    const auto earlier = numbered(16000, 50000.0f);
    stream.write(earlier, start - 0.5);
    expectChunk(stream, earlier, start - 1.5, "earlier");
}

TEST(AudioStreamTests, GapsWiderThanTheRoomLeftAreDropped) {
    const auto samples = numbered(30000, 100.0f);
    const struct {
        const char* name;
        Chunking chunking;
        std::size_t written;
        double gapSeconds;
        std::vector<float> expected;
        double expectedStart;
    } cases[] = {
        // Past the capacity: the newest 20000 samples, the gap and the earlier audio gone.
        {"large write, fixed skip", Chunking::useFixedSkip, 30000, 1.0, part(samples, 10000, 16000),
         start + 0.25 + 1.0 + 30000 / rate - 20000 / rate},
        {"large write, most recent", Chunking::useMostRecent, 30000, 1.0, part(samples, 14000, 16000),
         start + 0.25 + 1.0 + 30000 / rate - 1.0},
        // A small write after a long gap: only as much silence as fits before it.
        {"small write", Chunking::useFixedSkip, 1000, 2.0, std::vector<float>(16000, 0.0f),
         start + 0.25 + 2.0 + 1000 / rate - 20000 / rate},
    };
    for (const auto& c : cases) {
        auto stream = makeStream(c.chunking, Startup::waitForFullChunk);
        stream.write(numbered(4000), start + 0.25);
        const double end = start + 0.25 + c.gapSeconds + static_cast<double>(c.written) / rate;
        stream.write(part(samples, 0, c.written), end);
        expectChunk(stream, c.expected, c.expectedStart, c.name);
    }
}

TEST(AudioStreamTests, EmptyWritesChangeNothing) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk);
    std::vector<double> starts;
    stream.bind([&](std::vector<float>, double chunkStartTime) { starts.push_back(chunkStartTime); });
    stream.write(std::vector<float>{}, start + 5.0);
    EXPECT_TRUE(starts.empty());
    stream.write(numbered(16000));
    EXPECT_EQ(starts, std::vector<double>{start});
}

TEST(AudioStreamTests, BoundCallbackReceivesEveryCompletedChunk) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    std::vector<double> starts;
    std::vector<float> firstSamples;
    stream.bind([&](const std::vector<float>& chunk, double chunkStartTime) {
        EXPECT_EQ(chunk.size(), 16000u);
        starts.push_back(chunkStartTime);
        firstSamples.push_back(chunk.front());
    });
    stream.write(numbered(28000));
    EXPECT_EQ(starts, (std::vector<double>{start, start + 0.25, start + 0.5, start + 0.75}));
    EXPECT_EQ(firstSamples, (std::vector<float>{1.0f, 4001.0f, 8001.0f, 12001.0f}));
    EXPECT_FALSE(stream.hasNewChunk());

    stream.unbind();
    stream.write(numbered(4000, 28001.0f));
    EXPECT_EQ(starts.size(), 4u);
    expectChunk(stream, part(numbered(32000), 16000, 16000), start + 1.0, "after unbind");
}

TEST(AudioStreamTests, UnbindingFromTheCallbackStopsDelivery) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    int deliveries = 0;
    stream.bind([&](std::vector<float>, double) {
        ++deliveries;
        stream.unbind();
    });
    stream.write(numbered(28000));
    EXPECT_EQ(deliveries, 1);
    expectChunk(stream, part(numbered(28000), 4000, 16000), start + 0.25, "left for reading");
}

TEST(AudioStreamTests, ACallbackErrorEndsTheWriteAfterConsumingItsChunk) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    stream.bind([](std::vector<float>, double) { throw std::runtime_error("consumer failed"); });
    EXPECT_THROW(stream.write(numbered(24000)), std::runtime_error);
    stream.unbind();
    expectChunk(stream, part(numbered(24000), 4000, 16000), start + 0.25, "next");
}

TEST(AudioStreamTests, ChunksComeAsAnyCollectionOfFloats) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    const auto samples = numbered(24000);
    // Non-contiguous ranges are written like arrays.
    stream.write(std::list<float>(samples.begin(), samples.begin() + 20000));
    const auto first = stream.withChunkIfAvailable<std::deque<float>>(
        [](const std::deque<float>& chunk, double chunkStartTime) { return std::make_pair(chunk, chunkStartTime); });
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->first, std::deque<float>(samples.begin(), samples.begin() + 16000));
    EXPECT_EQ(first->second, start);
    const auto size = stream.withChunkIfAvailable([](std::vector<float> chunk, double) { return chunk.size(); });
    EXPECT_EQ(size, 16000u);
    EXPECT_FALSE(stream.withChunkIfAvailable([](std::vector<float>, double) { return 0; }).has_value());

    std::vector<std::deque<float>> received;
    stream.bind<std::deque<float>>([&](std::deque<float> chunk, double) { received.push_back(std::move(chunk)); });
    stream.write(std::deque<float>(samples.begin() + 20000, samples.end()));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], std::deque<float>(samples.begin() + 8000, samples.end()));
}

TEST(AudioStreamTests, BodyErrorsPassThroughWithTheChunkConsumed) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    stream.write(numbered(20000));
    EXPECT_THROW(stream.withChunkIfAvailable([](std::vector<float>, double) -> int { throw std::logic_error("no"); }),
                 std::logic_error);
    expectChunk(stream, part(numbered(20000), 4000, 16000), start + 0.25, "next");
}

TEST(AudioStreamTests, PoolBoundCallbackRunsOnThePool) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    std::mutex mutex;
    std::vector<double> starts;
    std::vector<std::deque<float>> chunks;
    {
        platform::core::ThreadPool pool(1);
        stream.bind(pool, [&](std::vector<float>, double chunkStartTime) {
            std::lock_guard lock(mutex);
            starts.push_back(chunkStartTime);
        });
        stream.write(numbered(20000));
        stream.bind<std::deque<float>>(pool, [&](std::deque<float> chunk, double) {
            std::lock_guard lock(mutex);
            chunks.push_back(std::move(chunk));
        });
        stream.write(numbered(4000, 20001.0f));
        // Destroying the pool runs the jobs already posted.
    }
    EXPECT_EQ(starts, (std::vector<double>{start, start + 0.25}));
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].front(), 8001.0f);
    EXPECT_EQ(chunks[0].back(), 24000.0f);
}

TEST(AudioStreamTests, BindingAnEmptyCallbackUnbinds) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    platform::core::ThreadPool pool(1);
    int deliveries = 0;
    stream.bind([&](std::vector<float>, double) { ++deliveries; });
    stream.bind(pool, nullptr);
    stream.write(numbered(16000));
    EXPECT_EQ(deliveries, 0);
    expectChunk(stream, numbered(16000), start, "left for reading");
}

TEST(AudioStreamTests, PCMBuffersAreConvertedToTheStreamFormat) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    const auto samples = numbered(8000);
    auto mono = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, rate, 1, false), 8000);
    mono->setFrameLength(8000);
    std::copy(samples.begin(), samples.end(), mono->floatChannelData()[0]);
    stream.write(*mono);
    // Four channels at three times the rate: averaged, then every third frame.
    auto quad = PCMBuffer::make(*AudioFormat::make(CommonFormat::float32, 3 * rate, 4, false), 24000);
    quad->setFrameLength(24000);
    for (std::uint32_t channel = 0; channel < 4; ++channel) {
        for (std::size_t frame = 0; frame < 24000; ++frame) {
            const auto step = static_cast<float>(frame / 3);
            quad->floatChannelData()[channel][frame] = step + 0.5f * static_cast<float>(channel);
        }
    }
    stream.write(*quad);
    std::vector<float> averaged(8000);
    for (std::size_t index = 0; index < averaged.size(); ++index) {
        averaged[index] = (static_cast<float>(index) * 4.0f + 3.0f) * 0.25f;
    }
    expectChunk(stream, concatenate(samples, averaged), start, "converted");
}

TEST(AudioStreamTests, SampleBuffersGoThroughTheConverter) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    const StreamDescription int16Mono{
        .sampleRate = rate, .channelsPerFrame = 1, .bitsPerChannel = 16, .isFloat = false, .isNonInterleaved = false};
    std::vector<std::int16_t> pcm(16000);
    for (std::size_t index = 0; index < pcm.size(); ++index) {
        pcm[index] = static_cast<std::int16_t>(static_cast<int>(index % 200) * 100 - 10000);
    }
    std::vector<std::byte> bytes(pcm.size() * sizeof(std::int16_t));
    std::memcpy(bytes.data(), pcm.data(), bytes.size());
    const SampleBuffer sampleBuffer(FormatDescription{.streamDescription = int16Mono}, 16000, bytes);
    const auto expected = AudioConverter(rate).resampleSampleBuffer(sampleBuffer);
    ASSERT_GE(expected.size(), 16000u);
    stream.write(sampleBuffer);
    expectChunk(stream, part(expected, 0, 16000), start, "converted");
}

TEST(AudioStreamTests, ConversionErrorsStoreNothing) {
    auto stream = makeStream(Chunking::useFixedSkip, Startup::waitForFullChunk, 3.0);
    stream.write(numbered(8000));
    // Four Int16 channels are mixed by the toolkit, which reads float samples only.
    const auto quadInt16 = PCMBuffer::make(*AudioFormat::make(CommonFormat::int16, 3 * rate, 4, false), 30000);
    quadInt16->setFrameLength(30000);
    EXPECT_THROW(stream.write(*quadInt16), AudioConverterError);
    EXPECT_THROW(stream.write(SampleBuffer(std::nullopt, 8000, {})), AudioConverterError);
    stream.write(numbered(8000, 8001.0f));
    expectChunk(stream, numbered(16000), start, "unchanged");
}

} // namespace
} // namespace quorl
