#include "QuorlAudio/diarization/chunked/DiarizationDER.hpp"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using quorl::DERSpeakerSegment;

// One hour of turns of ten speakers, 1 to 12 s long from a fixed linear congruential sequence, with a short
// overlap now and then.
std::vector<DERSpeakerSegment> referenceHour() {
    std::vector<DERSpeakerSegment> segments;
    std::uint32_t state = 2024;
    double time = 0;
    while (time < 3600) {
        state = state * 1664525u + 1013904223u;
        const double length = 1.0 + static_cast<double>(state >> 8) / static_cast<double>(1u << 24) * 11.0;
        segments.push_back({"ref" + std::to_string(state % 10), time, time + length});
        time += length - (state % 7 == 0 ? 0.5 : 0.0);
    }
    return segments;
}

// The reference under other labels with every boundary moved by 0.2 s and one speaker in twelve confused.
std::vector<DERSpeakerSegment> hypothesisOf(const std::vector<DERSpeakerSegment>& reference) {
    std::vector<DERSpeakerSegment> segments;
    for (std::size_t index = 0; index < reference.size(); ++index) {
        const auto& [speaker, start, end] = reference[index];
        const std::string label = index % 12 == 0 ? "hypX" : "hyp" + speaker.substr(3);
        segments.push_back({label, start + 0.2, end + 0.2});
    }
    return segments;
}

// The error rate of a one-hour timeline at 10 ms frames (360 001 frames), ten speakers, with a 0.25 s collar.
void BM_DiarizationDEROneHour(benchmark::State& state) {
    const auto reference = referenceHour();
    const auto hypothesis = hypothesisOf(reference);
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorl::DiarizationDER::compute(reference, hypothesis, 0.01, 0.25));
    }
}
BENCHMARK(BM_DiarizationDEROneHour)->Unit(benchmark::kMillisecond);

} // namespace
