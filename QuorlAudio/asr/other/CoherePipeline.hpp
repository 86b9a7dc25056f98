#pragma once

#include "QuorlAudio/asr/other/CohereDecoderLoop.hpp"
#include "QuorlAudio/asr/other/CohereDecodingOptions.hpp"
#include "QuorlAudio/asr/other/CohereLoadedModels.hpp"
#include "QuorlAudio/asr/other/CohereMelSpectrogram.hpp"

#include <cstddef>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace quorl {

// Speech to text with the Cohere encoder-decoder models: up to 35 s of 16 kHz mono audio in one model
// window, or audio of any length in overlapping 35 s windows whose token streams are joined where they
// repeat each other. Neither operation resamples. Calls on one pipeline run one at a time; pipelines may
// share one model set.
class CoherePipeline {
public:
    using LoadedModels = CohereLoadedModels;
    using DecoderVariant = CohereDecoderVariant;

    struct TranscriptionResult {
        std::string text;
        // For long audio, the merged stream.
        std::vector<int> tokenIds;
        // Wall-clock seconds in encoder predictions and in decoding loops, summed over windows.
        double encoderSeconds;
        double decoderSeconds;
        double totalSeconds;
    };

    // Samples [start, end) of the input that one window of long audio covers.
    struct Window {
        std::size_t start;
        std::size_t end;
    };

    // Encoder input frames (35 s) and the encoder frames they become.
    static constexpr int melFrames = 3500;
    static constexpr int encoderFrames = 438;
    // Long audio: windows of 35 s starting every 30 s; the seam is sought among the last and first 32
    // tokens and needs a shared run of 4.
    static constexpr std::size_t windowSamples = CohereAsrConfig::maxSamples;
    static constexpr std::size_t windowStep = 480000;
    static constexpr std::size_t mergeWindowTokens = 32;
    static constexpr std::size_t mergeMinMatch = 4;

    // Throws std::invalid_argument unless the front end makes the encoder's 128 bands.
    explicit CoherePipeline(CohereMelSpectrogram mel);

    // Only the first 35 s are transcribed (the normalisation still spans every frame). Fewer than one hop of
    // samples fails with CohereAsrError::invalidInput("Audio too short to extract mel features"); model
    // errors pass through unchanged.
    TranscriptionResult transcribe(std::span<const float> audio, const LoadedModels& models,
                                   const CohereDecodingOptions& options);
    // Any length: windows decoded one after another and merged. A failure in any window fails the call.
    TranscriptionResult transcribeLong(std::span<const float> audio, const LoadedModels& models,
                                       const CohereDecodingOptions& options);

    // The windows of long audio (more than one window's samples): every 480000 samples until one reaches
    // the end; the last may be shorter.
    static std::vector<Window> longAudioWindows(std::size_t sampleCount);

    // max(1, min(encoderSeqLen, ceil(featureLength * encoderFrames / melFrames))).
    static int encoderValidFrames(int featureLength, int encoderSeqLen, int melFrames, int encoderFrames);

private:
    struct WindowTokens {
        std::vector<int> tokenIds;
        double encoderSeconds;
        double decoderSeconds;
    };

    WindowTokens transcribeWindow(std::span<const float> audio, const LoadedModels& models,
                                  const CohereDecodingOptions& options) const;
    static CohereEncodedAudio runEncoder(const std::vector<std::vector<float>>& paddedMel, int featureLength,
                                         const platform::ml::Model& encoder);

    const CohereMelSpectrogram melExtractor_;
    std::mutex mutex_;
};

} // namespace quorl
