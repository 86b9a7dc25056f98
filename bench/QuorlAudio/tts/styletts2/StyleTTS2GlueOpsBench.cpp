#include "QuorlAudio/tts/styletts2/StyleTTS2GlueOps.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

namespace glue = quorl::StyleTTS2GlueOps;

// The largest bucket's 256 tokens expanded to 1000 frames: one feature stream of 512 channels, the width of
// the text encoder's features.
void expand256TokensTo1000Frames(benchmark::State& state) {
    constexpr std::size_t channels = 512;
    constexpr std::size_t tokens = 256;
    // 232 tokens of 4 frames and 24 of 3: 1000 frames.
    std::vector<std::int64_t> durations(tokens, 4);
    std::fill(durations.begin() + 232, durations.end(), 3);
    const auto alignment = glue::buildAlignmentMatrix(durations);
    std::vector<float> features(channels * tokens);
    for (std::size_t index = 0; index < features.size(); ++index) {
        features[index] = static_cast<float>(index % 97) * 0.01F;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            glue::matmulAligned({features, channels, tokens}, {alignment.matrix, tokens, alignment.totalFrames}));
    }
}
BENCHMARK(expand256TokensTo1000Frames)->Unit(benchmark::kMicrosecond);

} // namespace
