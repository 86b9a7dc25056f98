#include "QuorlAudio/tts/styletts2/StyleTTS2MelExtractor.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// One second of a 24 kHz reference clip: the cost the manager pays per second of reference audio.
void referenceMelPerSecond(benchmark::State& state) {
    const quorl::StyleTTS2MelExtractor extractor;
    std::vector<float> audio(24000);
    for (std::size_t index = 0; index < audio.size(); ++index) {
        audio[index] = 0.3F * std::sin(0.05F * static_cast<float>(index)) + 0.01F * static_cast<float>(index % 7);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(extractor.compute(audio));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(audio.size()));
}
BENCHMARK(referenceMelPerSecond)->Unit(benchmark::kMillisecond);

} // namespace
