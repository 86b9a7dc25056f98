#pragma once

#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizerModels.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <vector>

namespace quorl::testmodels {

// The four models of the offline diarizer over scripted kernels that hear voices in the audio: a voice is a
// stretch of samples all equal to 0.1 × its number (1 to 3), silence is 0. Windows are 1 s at 1600 Hz with ten
// frames of 160 samples.
// - Segmentation: each frame wins the powerset class of the single local speaker voice − 1 heard at the frame's
//   first sample, or silence.
// - FBANK: "fbank_features" [1, 10], the voice heard at each frame's first sample.
// - Embedding: a unit vector of its own for the voice that carries most of the mask's weight; voice 3 is
//   noise whose vector holds a value that is not a number.
// - PldaRho: each embedding's first 128 values, times 10.
class PipelineTestModels {
public:
    static constexpr std::int64_t sampleRate = 1600;
    static constexpr std::size_t windowSamples = 1600;
    static constexpr std::size_t frames = 10;

    struct VoiceSpan {
        int voice;
        double start;
        double end;
    };

    PipelineTestModels();

    // Windows of 1 s stepped by 0.5 s; masks and turns from 0.3 s.
    static OfflineDiarizerConfig config();
    static std::vector<float> recording(double seconds, const std::vector<VoiceSpan>& spans);
    // The embedding the model gives a voice.
    static std::vector<float> embeddingOf(int voice);

    // The four bundles and "plda-parameters.json" (psi all 1), as the diarizer's cache folder holds them.
    void writeRepository(const std::filesystem::path& folder) const;
    // The set loaded straight from such a folder, as a caller that loads its own models makes it.
    OfflineDiarizerModels load(const std::filesystem::path& folder) const;

    // Every segmentation prediction sleeps this long first.
    std::atomic<std::chrono::milliseconds> segmentationDelay{std::chrono::milliseconds(0)};
    // Every embedding holds a value that is not a number.
    std::atomic<bool> notANumber{false};

    testsupport::ScriptedKernel segmentation;
    testsupport::ScriptedKernel fbank;
    testsupport::ScriptedKernel embedding;
    testsupport::ScriptedKernel plda;
};

} // namespace quorl::testmodels
