#pragma once

#include "tests/support/ScriptedKernel.hpp"

#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quorl::testing {

// Scripted models of the chunked diarizer that hear voices in the audio: a voice is a stretch of samples all
// equal to 0.1 × its number (1 to 3), silence is 0. The segmentation model marks each frame with the single
// speaker of the voice at the frame's first sample (voice v is local speaker v − 1); the embedding model answers
// for the first masked frame's voice with a unit vector of its own.
namespace ChunkedTestModels {

inline constexpr std::size_t frames = 589;
inline constexpr std::size_t samplesPerFrame = 270;

struct VoiceSpan {
    int voice;
    double start;
    double end;
};

// 16 kHz audio of the given length holding the voices over their spans (seconds).
std::vector<float> recording(double seconds, const std::vector<VoiceSpan>& spans);

// The voice the samples around `sample` carry; 0 for silence.
int voiceAt(const platform::ml::MultiArray& audio, std::size_t sample);

// Outputs of the segmentation model: "segments" [1, frames, 7].
testsupport::ScriptedKernel::Outputs voiceSegments(const testsupport::ScriptedKernel::Call& call);
// Outputs of the embedding model: "embedding" [1, 256].
testsupport::ScriptedKernel::Outputs voiceEmbedding(const testsupport::ScriptedKernel::Call& call);

// The embedding the model gives a voice.
std::vector<float> embeddingOf(int voice);

// A float32 output of the shape with every element `value`.
std::shared_ptr<platform::ml::MultiArray> filled(const platform::ml::MultiArray::Shape& shape, float value);

// Bundles declaring the features the diarizer sends: "audio" [1, 1, 160000] to "segments" [1, frames, 7], and
// "waveform" [3, 160000] with "mask" [3, maskFrames] to "embedding" [1, 256].
std::filesystem::path writeSegmentationBundle(const std::filesystem::path& folder, const std::string& kernel);
std::filesystem::path writeEmbeddingBundle(const std::filesystem::path& folder, const std::string& kernel,
                                           std::size_t maskFrames = frames);

} // namespace ChunkedTestModels

} // namespace quorl::testing
