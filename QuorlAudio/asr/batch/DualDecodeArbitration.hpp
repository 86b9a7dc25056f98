#pragma once

#include "QuorlAudio/asr/batch/ChunkProcessor.hpp"
#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/asr/batch/DualDecodeProbe.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quorl {

// The long-audio road that decodes one chunk after another and chooses its chunk grid on the way: chunk 0 of
// grid A, then up to three probe chunks as grids A, B and C each cut them (a B or C chunk whose input would equal
// A's is not decoded again), then the rest of the grid the probe chose (DualDecodeProbe). The chosen reading's
// probe chunks go into the result as they are.
class DualDecodeArbitration {
public:
    using Decisions = std::vector<ChunkProcessor::ChunkStartDecision>;
    using Tokens = std::vector<DecodedToken>;
    // Decodes the chunk whose own audio begins at `start`, with the `warmupSamples` before it in front.
    using DecodeChunk = std::function<Tokens(std::int64_t start, std::int64_t warmupSamples)>;

    struct Grids {
        // Starts on quiet frame boundaries, never with a warm-up.
        Decisions a;
        // The same search allowed to ask for warm-ups.
        Decisions b;
        // The regular grid.
        Decisions c;
    };

    // Where the audio decoded for one chunk lies, and how the decoder is told about its warm-up.
    struct ChunkWindow {
        // First sample decoded, warm-up included.
        std::int64_t readStart;
        std::int64_t sampleCount;
        int actualAudioFrames;
        bool isLastChunk;
        int globalFrameOffset;
        // With a warm-up: its tokens are not emitted, and decoding starts at the window's first frame.
        std::optional<int> emitTokensAfterGlobalFrame;
        std::optional<int> initialTimeIndexOverride;

        bool operator==(const ChunkWindow&) const = default;
    };

    // 187 encoder frames.
    static constexpr std::int64_t chunkSamples = 239360;
    // 7 encoder frames.
    static constexpr std::int64_t maxWarmupSamples = 8960;
    static constexpr int maxProbeChunks = 3;

    DualDecodeArbitration(Grids grids, int agreementToleranceFrames, DecodeChunk decodeChunk, AppLogger logger);

    // The chunk of `chunkSamples` (warm-up included, at least one frame of its own) at `start` in a recording of
    // `totalSamples`; none when no audio of its own remains there.
    static std::optional<ChunkWindow> chunkWindow(std::int64_t start, std::int64_t warmupSamples,
                                                  std::int64_t chunkSamples, std::int64_t totalSamples);
    // The warm-up a decision asks for: the audio before its start, at most 8960 samples; none when it asks none.
    static std::int64_t warmupSamples(const ChunkProcessor::ChunkStartDecision& decision);

    // The chosen grid's chunks' tokens in chunk order. Progress is reported as a share of grid A's chunks, whatever
    // grid is chosen; the probe is logged at debug level. The calling task's cancellation is checked before the
    // probe, between probe steps and before every later chunk.
    std::vector<Tokens> run(const ChunkProcessor::ProgressHandler& progressHandler) const;

private:
    struct Readings {
        DualDecodeProbe::Reading a;
        DualDecodeProbe::Reading b;
        DualDecodeProbe::Reading c;
    };

    Readings probe(std::size_t probeCount) const;
    Tokens readingB(std::size_t index, const Tokens& readingA) const;
    Tokens readingC(std::size_t index, const Tokens& readingA) const;
    const Decisions& grid(DualDecodeProbe::Choice choice) const;

    Grids grids_;
    int agreementToleranceFrames_;
    DecodeChunk decodeChunk_;
    AppLogger logger_;
};

} // namespace quorl
