#include "tests/QuorlAudio/diarization/chunked/ChunkedTestModels.hpp"

#include "tests/support/ModelBundleWriter.hpp"

#include <cmath>

namespace quorl::testing::ChunkedTestModels {

using platform::ml::DataType;
using platform::ml::MultiArray;

std::vector<float> recording(double seconds, const std::vector<VoiceSpan>& spans) {
    std::vector<float> samples(static_cast<std::size_t>(std::lround(seconds * 16000)), 0.0f);
    for (const auto& [voice, start, end] : spans) {
        const auto first = static_cast<std::size_t>(std::lround(start * 16000));
        const auto last = std::min(samples.size(), static_cast<std::size_t>(std::lround(end * 16000)));
        for (std::size_t index = first; index < last; ++index) {
            samples[index] = 0.1f * static_cast<float>(voice);
        }
    }
    return samples;
}

int voiceAt(const MultiArray& audio, std::size_t sample) {
    return static_cast<int>(std::lround(audio.value(sample) * 10.0));
}

std::shared_ptr<MultiArray> filled(const MultiArray::Shape& shape, float value) {
    auto array = std::make_shared<MultiArray>(shape, DataType::float32);
    for (std::size_t index = 0; index < array->count(); ++index) {
        array->setValue(index, value);
    }
    return array;
}

testsupport::ScriptedKernel::Outputs voiceSegments(const testsupport::ScriptedKernel::Call& call) {
    const auto audio = call.inputs.at("audio").multiArrayValue();
    auto segments = filled({1, frames, 7}, 0.0f);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const int voice = voiceAt(*audio, frame * samplesPerFrame);
        segments->setValue(frame * 7 + static_cast<std::size_t>(voice >= 1 && voice <= 3 ? voice : 0), 1.0);
    }
    return {{"segments", segments}};
}

std::vector<float> embeddingOf(int voice) {
    std::vector<float> embedding(256, 0.0f);
    embedding[static_cast<std::size_t>(voice) * 16] = 1.0f;
    return embedding;
}

testsupport::ScriptedKernel::Outputs voiceEmbedding(const testsupport::ScriptedKernel::Call& call) {
    const auto waveform = call.inputs.at("waveform").multiArrayValue();
    const auto mask = call.inputs.at("mask").multiArrayValue();
    const std::size_t maskFrames = mask->shape()[1];
    int voice = 0;
    for (std::size_t frame = 0; frame < maskFrames && voice == 0; ++frame) {
        if (mask->value(frame) > 0) {
            voice = voiceAt(*waveform, frame * samplesPerFrame);
        }
    }
    auto embedding = filled({1, 256}, 0.0f);
    const auto values = embeddingOf(voice);
    for (std::size_t index = 0; index < values.size(); ++index) {
        embedding->setValue(index, values[index]);
    }
    return {{"embedding", embedding}};
}

std::filesystem::path writeSegmentationBundle(const std::filesystem::path& folder, const std::string& kernel) {
    return testsupport::writeModelBundle(
        folder, "pyannote_segmentation.mlmodelc",
        testsupport::modelManifest(kernel, {testsupport::multiArrayFeature("audio", {1, 1, 160000})},
                                   {testsupport::multiArrayFeature("segments", {1, frames, 7})}));
}

std::filesystem::path writeEmbeddingBundle(const std::filesystem::path& folder, const std::string& kernel,
                                           std::size_t maskFrames) {
    return testsupport::writeModelBundle(
        folder, "wespeaker_v2.mlmodelc",
        testsupport::modelManifest(kernel,
                                   {testsupport::multiArrayFeature("waveform", {3, 160000}),
                                    testsupport::multiArrayFeature("mask", {3, maskFrames})},
                                   {testsupport::multiArrayFeature("embedding", {1, 256})}));
}

} // namespace quorl::testing::ChunkedTestModels
