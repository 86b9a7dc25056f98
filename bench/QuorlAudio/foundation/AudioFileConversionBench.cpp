#include "QuorlAudio/foundation/AudioConverter.hpp"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int fileRate = 48000;

// `seconds` of 48 kHz mono 16-bit speech-band audio in the temporary folder, written once per length.
std::filesystem::path speechLikeFile(int seconds) {
    const auto path =
        std::filesystem::temp_directory_path() / ("quorl-conversion-bench-" + std::to_string(seconds) + "s.wav");
    SF_INFO info{.frames = 0,
                 .samplerate = fileRate,
                 .channels = 1,
                 .format = SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                 .sections = 0,
                 .seekable = 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> block(fileRate);
    std::uint32_t seed = 1;
    for (int second = 0; second < seconds; ++second) {
        for (std::size_t frame = 0; frame < block.size(); ++frame) {
            seed = seed * 1664525u + 1013904223u;
            const double time = second + static_cast<double>(frame) / fileRate;
            const double hiss = 0.01 * (static_cast<double>(seed >> 8) / 16777216.0 - 0.5);
            block[frame] = static_cast<float>(0.3 * std::sin(2 * std::numbers::pi * 220 * time) +
                                              0.1 * std::sin(2 * std::numbers::pi * 3100 * time) + hiss);
        }
        sf_writef_float(file, block.data(), static_cast<sf_count_t>(block.size()));
    }
    sf_close(file);
    return path;
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
double statusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stod(line.substr(field.size() + 1)) * 1024.0;
        }
    }
    return 0.0;
}

// Resets the peak of resident memory to the current size.
void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Reading a 48 kHz mono file and converting it to 16 kHz mono Float32. "peakOverOutput" is the most memory
// the conversion held at once, over the size of its result.
void BM_ResampleAudioFile(benchmark::State& state) {
    const auto path = speechLikeFile(static_cast<int>(state.range(0)));
    const quorl::AudioConverter converter;
    double peakOverOutput = 0.0;
    for (auto _ : state) {
        resetPeakMemory();
        const double before = statusBytes("VmRSS");
        const std::vector<float> samples = converter.resampleAudioFile(path);
        benchmark::DoNotOptimize(samples.data());
        peakOverOutput = (statusBytes("VmHWM") - before) / static_cast<double>(samples.size() * sizeof(float));
    }
    std::filesystem::remove(path);
    state.counters["peakOverOutput"] = peakOverOutput;
    state.SetItemsProcessed(state.iterations() * state.range(0) * fileRate);
}
BENCHMARK(BM_ResampleAudioFile)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleAudioFile)->Arg(3600)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
