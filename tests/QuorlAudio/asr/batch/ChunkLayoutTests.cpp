#include "ChunkProcessorTesting.hpp"

#include "QuorlAudio/foundation/ArrayAudioSampleSource.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Starts = std::vector<ChunkProcessor::ChunkStartDecision>;

Starts startsAt(std::initializer_list<std::int64_t> positions) {
    Starts starts;
    for (const std::int64_t position : positions) {
        starts.push_back(ChunkProcessor::ChunkStartDecision{.start = position, .useWarmupPrefix = false});
    }
    return starts;
}

ChunkProcessor overSamples(std::vector<float> samples) {
    const auto count = static_cast<std::int64_t>(samples.size());
    return standardChunkProcessor(std::make_shared<ArrayAudioSampleSource>(std::move(samples)), count);
}

// Deterministic noise, uniform in [-amplitude, amplitude].
std::vector<float> noise(std::size_t count, float amplitude) {
    std::minstd_rand generator(20240611);
    std::vector<float> samples(count);
    for (float& sample : samples) {
        const double unit = static_cast<double>(generator() - std::minstd_rand::min()) /
                            static_cast<double>(std::minstd_rand::max() - std::minstd_rand::min());
        sample = amplitude * static_cast<float>(2 * unit - 1);
    }
    return samples;
}

std::vector<float> scaled(std::vector<float> samples, std::size_t from, std::size_t to, float factor) {
    for (std::size_t position = from; position < to; ++position) {
        samples[position] *= factor;
    }
    return samples;
}

TEST(ChunkLayout, LayoutDependsOnMelContextAndTheWarmUpPrefixOnly) {
    const std::optional<AsrModelVersion> versions[] = {std::nullopt, AsrModelVersion::v2, AsrModelVersion::v3,
                                                       AsrModelVersion::tdtCtc110m, AsrModelVersion::tdtJa};
    const ChunkProcessor processor = standardChunkProcessor(nullptr, 0);
    for (const auto& version : versions) {
        SCOPED_TRACE(version ? description(*version) : "none");
        EXPECT_EQ(
            processor.geometry().chunkLayout(true, version),
            (ChunkProcessor::ChunkLayout{
                .chunkSamples = 238080, .strideSamples = 206080, .melContextSamples = 1280, .warmupPrefixSamples = 0}));
        EXPECT_EQ(
            processor.geometry().chunkLayout(false, version),
            (ChunkProcessor::ChunkLayout{
                .chunkSamples = 239360, .strideSamples = 207360, .melContextSamples = 0, .warmupPrefixSamples = 0}));
    }

    ChunkProcessor withWarmup = processor;
    withWarmup.noMelWarmupPrefixFrames = 3;
    EXPECT_EQ(withWarmup.geometry().chunkLayout(false, AsrModelVersion::v3).warmupPrefixSamples, 3840);
    EXPECT_EQ(withWarmup.geometry().chunkLayout(false, AsrModelVersion::v2).warmupPrefixSamples, 0);
    EXPECT_EQ(withWarmup.geometry().chunkLayout(true, AsrModelVersion::v3).warmupPrefixSamples, 0);

    ChunkProcessor wideContext = processor;
    wideContext.melContextSamples = 300000;
    EXPECT_EQ(wideContext.geometry().chunkLayout(true, std::nullopt).chunkSamples, 1280);
}

TEST(ChunkLayout, StrideLeavesTheOverlapInWholeFramesCappedAtHalfAChunk) {
    const struct {
        double overlapSeconds;
        std::int64_t chunkSamples;
        std::int64_t stride;
    } cases[] = {
        {2.0, 238080, 206080},
        {2.0, 239360, 207360},
        {10.0, 238080, 119040},
        {0.0, 238080, 238080},
        // 0.05 s is 800 samples, less than a frame.
        {0.05, 238080, 238080},
        {2.0, 2000, 1280},
        {2.0, 1280, 1280},
        {2.0, 500, 1280},
        // An overlap that is not a number of seconds, or a negative one, leaves none; an infinite one is capped.
        {-1.0, 238080, 238080},
        {std::numeric_limits<double>::quiet_NaN(), 238080, 238080},
        {std::numeric_limits<double>::infinity(), 238080, 119040},
    };
    for (const auto& testCase : cases) {
        ChunkProcessor processor = standardChunkProcessor(nullptr, 0);
        processor.overlapSeconds = testCase.overlapSeconds;
        EXPECT_EQ(processor.geometry().strideSamples(testCase.chunkSamples), testCase.stride)
            << testCase.overlapSeconds << " s over " << testCase.chunkSamples;
    }
}

TEST(ChunkLayout, RegularStartsAreTheMultiplesOfTheStrideBelowTheTotal) {
    const struct {
        std::int64_t totalSamples;
        std::int64_t stride;
        Starts expected;
    } cases[] = {
        {300000, 206080, startsAt({0, 206080})},
        {412160, 206080, startsAt({0, 206080})},
        {412161, 206080, startsAt({0, 206080, 412160})},
        {100, 206080, startsAt({0})},
        {0, 206080, startsAt({0})},
        {5000, 0, startsAt({0})},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(standardChunkProcessor(nullptr, testCase.totalSamples).geometry().regularChunkStarts(testCase.stride),
                  testCase.expected)
            << testCase.totalSamples << " by " << testCase.stride;
    }
}

TEST(ChunkLayout, SilenceAlignedStartsMoveOntoQuietFrameBoundaries) {
    const struct {
        const char* name;
        std::vector<float> samples;
        std::int64_t chunkSamples;
        std::int64_t stride;
        Starts expected;
    } cases[] = {
        // Silence everywhere: the earliest admissible frame, 50 frames before the nominal boundary ...
        {"silence", std::vector<float>(650000, 0.0f), 239360, 207360, startsAt({0, 143360, 350720, 558080})},
        // ... or the first frame after the previous start, whichever is later.
        {"silence, short stride", std::vector<float>(40000, 0.0f), 239360, 12800, startsAt({0, 1280, 2560, 3840})},
        // A 0.25 s pause ending 1.9 s before the boundary at 207360: the one window wholly inside it.
        {"a pause", scaled(noise(300000, 0.5f), 173000, 177000, 0.0f), 239360, 207360, startsAt({0, 175360})},
        // Too loud for the wide search, quiet enough against the neighbouring frames.
        {"a softer stretch", scaled(noise(300000, 0.5f), 202240, 204800, 0.4f), 239360, 207360, startsAt({0, 203520})},
        // A softer stretch beyond the close neighbourhood is not quiet enough to move a start that far.
        {"a distant softer stretch", scaled(noise(300000, 0.5f), 177920, 180480, 0.4f), 239360, 207360,
         startsAt({0, 207360})},
        {"a slight dip", scaled(noise(300000, 0.5f), 202240, 204800, 0.7f), 239360, 207360, startsAt({0, 207360})},
        // Nothing quiet: the nominal boundary truncated to a whole frame ...
        {"noise", noise(500000, 0.5f), 238080, 200000, startsAt({0, 199680, 399360})},
        // ... but no later than the previous start + chunk − 6 frames ...
        {"noise, short chunks", noise(500000, 0.5f), 100000, 200000, startsAt({0, 92320, 184640})},
        // ... and, when that is not beyond the previous start, one stride after it.
        {"noise, chunks of six frames", noise(500000, 0.5f), 7680, 200000, startsAt({0, 200000, 400000})},
        {"shorter than a stride", noise(100000, 0.5f), 239360, 207360, startsAt({0})},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const ChunkProcessor processor = overSamples(testCase.samples);
        EXPECT_EQ(processor.geometry().silenceAlignedChunkStarts(testCase.chunkSamples, testCase.stride, false),
                  testCase.expected);
        // Allowing warm-up prefixes changes nothing: no start the search places asks for one.
        EXPECT_EQ(processor.geometry().silenceAlignedChunkStarts(testCase.chunkSamples, testCase.stride, true),
                  testCase.expected);
    }
}

struct RecordingGone : std::runtime_error {
    RecordingGone() : std::runtime_error("the recording went away") {}
};

class FailingSampleSource : public AudioSampleSource {
public:
    std::int64_t sampleCount() const override { return 500000; }
    void copySamples(float*, std::int64_t, std::int64_t) const override { throw RecordingGone(); }
};

TEST(ChunkLayout, SilenceAlignedStartsPassReadErrorsOn) {
    const ChunkProcessor processor = standardChunkProcessor(std::make_shared<FailingSampleSource>(), 500000);
    const auto search = [&] { return processor.geometry().silenceAlignedChunkStarts(239360, 207360, false); };
    EXPECT_THROW(search(), RecordingGone);
    EXPECT_EQ(testsupport::errorText(search), "the recording went away");
    // Regular starts read nothing.
    EXPECT_EQ(processor.geometry().regularChunkStarts(207360), startsAt({0, 207360, 414720}));
}

} // namespace
} // namespace quorl
