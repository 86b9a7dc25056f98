#include "QuorlAudio/diarization/chunked/ChunkGeometry.hpp"

#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace quorl {
namespace {

TEST(ChunkGeometryTest, ChunksUseWholeSecondsOfDurationAndOverlap) {
    struct Case {
        float duration;
        float overlap;
        std::int64_t size;
        std::int64_t step;
    };
    for (const auto& [duration, overlap, size, step] :
         {Case{10, 0, 160000, 160000}, Case{2.5f, 0.4f, 48000, 48000}, Case{10, 5, 160000, 80000},
          Case{3, 4.6f, 48000, -32000}, Case{3, 1e30f, 48000, 48000 - 16'000'000'000'000},
          Case{-2, 0, -32000, -32000}}) {
        const auto geometry =
            ChunkGeometry::of(DiarizerConfig{.chunkDuration = duration, .chunkOverlap = overlap}, 16000);
        EXPECT_EQ(geometry.chunkSize, size) << duration << " / " << overlap;
        EXPECT_EQ(geometry.chunkStep, step) << duration << " / " << overlap;
    }
}

TEST(ChunkGeometryTest, StartsAdvanceByTheStepAndANegativeStepCutsNothing) {
    const ChunkGeometry geometry{.chunkSize = 160000, .chunkStep = 160000};
    EXPECT_EQ(geometry.chunkStarts(400000), (std::vector<std::size_t>{0, 160000, 320000}));
    EXPECT_TRUE(geometry.chunkStarts(0).empty());
    EXPECT_TRUE((ChunkGeometry{.chunkSize = 48000, .chunkStep = -32000}).chunkStarts(400000).empty());
}

TEST(ChunkGeometryTest, GeometriesThatWouldLoseMistimeOrSkipAudioAreRefused) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    constexpr float infinity = std::numeric_limits<float>::infinity();
    struct Case {
        DiarizerConfig config;
        int sampleRate;
        std::string error;
    };
    const std::vector<Case> cases{
        {{}, 44100, "Processing failed: Chunked diarization needs 16000 Hz audio, not 44100 Hz"},
        {{}, 0, "Processing failed: Chunked diarization needs 16000 Hz audio, not 0 Hz"},
        {{.chunkDuration = 10.6f},
         16000,
         "Processing failed: Chunks of more than 10 s exceed the segmentation "
         "model's input"},
        {{.chunkDuration = nan}, 16000, "Processing failed: Chunk duration and overlap must be finite"},
        {{.chunkOverlap = infinity}, 16000, "Processing failed: Chunk duration and overlap must be finite"},
        {{.chunkOverlap = -1}, 16000, "Processing failed: Chunk overlap must not be negative"},
        {{.chunkOverlap = 9.5f},
         16000,
         "Processing failed: Chunk overlap equals the chunk duration, so chunks never advance"},
        {{.chunkDuration = 0.3f},
         16000,
         "Processing failed: Chunk overlap equals the chunk duration, so chunks never advance"},
    };
    for (const auto& [config, sampleRate, error] : cases) {
        EXPECT_EQ(testsupport::errorText([&] { ChunkGeometry::of(config, sampleRate); }), error);
    }
}

} // namespace
} // namespace quorl
