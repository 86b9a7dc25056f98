#include "QuorlAudio/diarization/chunked/EmbeddingExtractor.hpp"

#include "QuorlAudio/foundation/DiarizerError.hpp"
#include "QuorlAudio/foundation/ZeroCopyDiarizerFeatureProvider.hpp"
#include "platform/dsp/Vector.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <algorithm>
#include <cstdint>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

void checkEqualLengths(const std::vector<std::vector<float>>& masks) {
    for (const auto& mask : masks) {
        if (mask.size() != masks.front().size()) {
            throw DiarizerError::processingFailed("Speaker masks differ in length");
        }
    }
}

// The mask frames that cover the audio actually present: all of them for a full window, proportionally fewer,
// rounded half up, for shorter audio.
std::size_t matchingMaskLength(std::size_t frames, std::size_t samples) {
    const std::uint64_t scaled =
        (static_cast<std::uint64_t>(frames) * samples + EmbeddingExtractor::waveformLength / 2) /
        EmbeddingExtractor::waveformLength;
    return static_cast<std::size_t>(std::min<std::uint64_t>(frames, scaled));
}

// Fills `values` from its first `filled` elements onwards by copying the prefix onto itself, doubling each time.
void repeatPrefix(float* values, std::size_t filled, std::size_t length) {
    if (filled == 0) {
        return;
    }
    while (filled < length) {
        const std::size_t count = std::min(length - filled, filled);
        platform::dsp::copy(values, values + filled, count);
        filled += count;
    }
}

float sumInOrder(const std::vector<float>& mask) {
    float sum = 0;
    for (const float value : mask) {
        sum += value;
    }
    return sum;
}

std::shared_ptr<MultiArray> embeddingOutput(const platform::ml::FeatureProvider& outputs) {
    auto output = platform::ml::multiArrayOutput(outputs, "embedding");
    if (output && (output->dataType() != DataType::float32 || output->count() < EmbeddingExtractor::embeddingSize ||
                   output->extent() < EmbeddingExtractor::embeddingSize)) {
        throw DiarizerError::processingFailed("Embedding output must hold at least 256 32-bit floats");
    }
    return output;
}

} // namespace

EmbeddingExtractor::EmbeddingExtractor(std::shared_ptr<platform::ml::Model> embeddingModel)
    : wespeakerModel_(std::move(embeddingModel)) {
    logger_.info("EmbeddingExtractor ready with ANE memory optimizer");
}

std::vector<std::vector<float>> EmbeddingExtractor::getEmbeddings(std::span<const float> audio,
                                                                  const std::vector<std::vector<float>>& masks,
                                                                  float minActivityThreshold) {
    if (masks.empty()) {
        return {};
    }
    checkEqualLengths(masks);
    const std::size_t frames = masks.front().size();
    auto waveform = memoryOptimizer_.createAlignedArray({waveformRows, waveformLength}, DataType::float32);
    auto maskInput = memoryOptimizer_.createAlignedArray({waveformRows, frames}, DataType::float32);
    fillWaveformBuffer(audio, *waveform);
    const std::size_t matchingLength = matchingMaskLength(frames, audio.size());
    std::vector<std::vector<float>> embeddings;
    embeddings.reserve(masks.size());
    for (const auto& mask : masks) {
        embeddings.push_back(sumInOrder(mask) < minActivityThreshold
                                 ? std::vector<float>(embeddingSize, 0.0f)
                                 : embeddingFor(mask, matchingLength, waveform, maskInput));
    }
    return embeddings;
}

void EmbeddingExtractor::fillWaveformBuffer(std::span<const float> audio, MultiArray& buffer) const {
    float* values = buffer.data<float>();
    const std::size_t rowStride = buffer.strides()[0];
    std::size_t copied = 0;
    for (std::size_t row = 0; row < waveformRows && copied < audio.size(); ++row) {
        const std::size_t count = std::min(waveformLength, audio.size() - copied);
        platform::dsp::copy(audio.data() + copied, values + row * rowStride, count);
        copied += count;
    }
    if (audio.size() < waveformLength) {
        repeatPrefix(values, audio.size(), waveformLength);
    }
}

std::vector<float> EmbeddingExtractor::embeddingFor(const std::vector<float>& mask, std::size_t matchingLength,
                                                    const std::shared_ptr<MultiArray>& waveform,
                                                    const std::shared_ptr<MultiArray>& maskInput) {
    float* row = maskInput->data<float>();
    platform::dsp::clear(row, maskInput->extent());
    platform::dsp::copy(mask.data(), row, matchingLength);
    repeatPrefix(row, matchingLength, mask.size());
    const ZeroCopyDiarizerFeatureProvider input({{"waveform", waveform}, {"mask", maskInput}});
    const auto outputs = wespeakerModel_->predict(input);
    const auto output = embeddingOutput(*outputs);
    return output ? extractEmbeddingOptimized(*output, 0) : std::vector<float>(embeddingSize, 0.0f);
}

std::vector<float> EmbeddingExtractor::extractEmbeddingOptimized(MultiArray& output, std::size_t speakerIndex) {
    const float* source = nullptr;
    std::shared_ptr<MultiArray> view;
    try {
        view = memoryOptimizer_.createZeroCopyView(output, {embeddingSize}, speakerIndex * embeddingSize);
        source = view->data<float>();
    } catch (const DiarizerError&) {
        source = output.data<float>() + speakerIndex * embeddingSize;
    }
    return std::vector<float>(source, source + embeddingSize);
}

} // namespace quorl
