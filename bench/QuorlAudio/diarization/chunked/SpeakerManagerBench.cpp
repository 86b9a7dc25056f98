#include "QuorlAudio/diarization/chunked/SpeakerManager.hpp"
#include "QuorlAudio/diarization/chunked/VDSPOperations.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {
namespace {

// Voice-like embeddings: unit vectors of values in [-1, 1) from a fixed linear congruential sequence, so that
// distinct speakers lie far apart, as real speakers mostly do.
std::vector<std::vector<float>> embeddings(std::size_t count) {
    std::uint32_t state = 12345;
    std::vector<std::vector<float>> result(count, std::vector<float>(SpeakerManager::embeddingSize));
    for (std::vector<float>& embedding : result) {
        for (float& value : embedding) {
            state = state * 1664525u + 1013904223u;
            value = static_cast<float>(state >> 8) / static_cast<float>(1u << 23) - 1.0f;
        }
        embedding = VDSPOperations::l2Normalize(embedding);
    }
    return result;
}

SpeakerManager managerOf(const std::vector<std::vector<float>>& voices) {
    SpeakerManager manager;
    for (std::size_t index = 0; index < voices.size(); ++index) {
        manager.upsertSpeaker(SpeakerUpsert{.id = std::to_string(index + 1), .currentEmbedding = voices[index]});
    }
    return manager;
}

// Each embedding is the voice of a stored speaker, so every assignment compares it with the whole database and
// then refines the speaker it matches, the common path of a diarization run.
void BM_AssignSpeaker(benchmark::State& state) {
    const std::vector<std::vector<float>> voices = embeddings(static_cast<std::size_t>(state.range(0)));
    SpeakerManager manager = managerOf(voices);
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.assignSpeaker(voices[next], 2.0f));
        next = (next + 7) % voices.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AssignSpeaker)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_FindMergeablePairs(benchmark::State& state) {
    const SpeakerManager manager = managerOf(embeddings(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.findMergeablePairs(std::nullopt, PermanentSpeakers::protect));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * (state.range(0) - 1) / 2);
}
BENCHMARK(BM_FindMergeablePairs)->Arg(300)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace quorl
