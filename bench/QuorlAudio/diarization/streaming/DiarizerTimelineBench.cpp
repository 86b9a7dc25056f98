#include "QuorlAudio/diarization/streaming/DiarizerTimeline.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace quorl {
namespace {

constexpr std::int64_t slots = 4;
// One hour at 12.5 output frames per second.
constexpr std::int64_t hourFrames = 45000;
constexpr std::int64_t finalizedPerChunk = 6;
constexpr std::int64_t tentativePerChunk = 7;

// Each slot alternates between speech and silence in turns of 1 to 64 frames, with probabilities that wander
// around the thresholds, from a fixed linear congruential sequence.
std::vector<float> hourOfPredictions() {
    std::vector<float> predictions(static_cast<std::size_t>(hourFrames * slots));
    std::uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (std::int64_t slot = 0; slot < slots; ++slot) {
        bool speaking = false;
        std::int64_t frame = 0;
        while (frame < hourFrames) {
            const std::int64_t turn = 1 + static_cast<std::int64_t>(next() % 64);
            for (std::int64_t end = std::min(frame + turn, hourFrames); frame < end; ++frame) {
                const float jitter = static_cast<float>(next() % 1000) / 4000.0f;
                predictions[static_cast<std::size_t>(frame * slots + slot)] = speaking ? 0.7f + jitter : 0.05f + jitter;
            }
            speaking = !speaking;
        }
    }
    return predictions;
}

// Chunks of 6 finalized frames, each followed by the next 7 frames as its tentative look-ahead.
std::vector<DiarizerChunkResult> hourOfChunks() {
    const std::vector<float> predictions = hourOfPredictions();
    const auto valuesAt = [&predictions](std::int64_t frame) { return predictions.begin() + frame * slots; };
    std::vector<DiarizerChunkResult> chunks;
    for (std::int64_t start = 0; start < hourFrames; start += finalizedPerChunk) {
        const std::int64_t finalizedEnd = std::min(start + finalizedPerChunk, hourFrames);
        const std::int64_t tentativeEnd = std::min(finalizedEnd + tentativePerChunk, hourFrames);
        chunks.push_back({
            .finalizedPredictions = {valuesAt(start), valuesAt(finalizedEnd)},
            .finalizedFrameCount = finalizedEnd - start,
            .startFrame = start,
            .tentativePredictions = {valuesAt(finalizedEnd), valuesAt(tentativeEnd)},
            .tentativeFrameCount = tentativeEnd - finalizedEnd,
        });
    }
    return chunks;
}

DiarizerTimelineConfig benchConfig() { return DiarizerTimelineConfig::sortformerDefault(); }

void addHour(DiarizerTimeline& timeline, const std::vector<DiarizerChunkResult>& chunks) {
    for (const DiarizerChunkResult& chunk : chunks) {
        benchmark::DoNotOptimize(timeline.addChunk(chunk));
    }
}

void BM_AddChunkOneHour(benchmark::State& state) {
    const auto chunks = hourOfChunks();
    for (auto _ : state) {
        DiarizerTimeline timeline(benchConfig());
        addHour(timeline, chunks);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(chunks.size()));
}
BENCHMARK(BM_AddChunkOneHour)->Unit(benchmark::kMillisecond);

void BM_TakeSnapshotOfOneHour(benchmark::State& state) {
    DiarizerTimeline timeline(benchConfig());
    addHour(timeline, hourOfChunks());
    std::int64_t segments = 0;
    for (const auto& [slot, speaker] : timeline.speakers()) {
        segments += static_cast<std::int64_t>(speaker->segmentCount());
    }
    state.counters["segments"] = static_cast<double>(segments);
    for (auto _ : state) {
        benchmark::DoNotOptimize(timeline.takeSnapshot());
    }
}
BENCHMARK(BM_TakeSnapshotOfOneHour)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quorl
