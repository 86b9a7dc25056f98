#include "QuorlAudio/asr/streaming/UnifiedMelExtractor.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace quorl {
namespace {

constexpr int hop = 160;

// Zero mean and unit deviation per mel bin over the valid frames of a frame-major buffer; the padding frames
// become 0 so that the zeros behind the audio do not reach the encoder as silence features.
void normalizePerFeature(std::span<float> features, std::size_t frames, std::int64_t validFrames, std::size_t bins) {
    if (validFrames <= 0) {
        std::ranges::fill(features, 0.0f);
        return;
    }
    const auto valid = static_cast<std::size_t>(validFrames);
    const float divisor = valid > 1 ? static_cast<float>(valid - 1) : 1.0f;
    for (std::size_t bin = 0; bin < bins; ++bin) {
        float sum = 0.0f;
        for (std::size_t frame = 0; frame < valid; ++frame) {
            sum += features[frame * bins + bin];
        }
        const float mean = sum / static_cast<float>(valid);
        float squares = 0.0f;
        for (std::size_t frame = 0; frame < valid; ++frame) {
            const float centred = features[frame * bins + bin] - mean;
            squares += centred * centred;
        }
        const float deviation = std::sqrt(squares / divisor) + 0.00001f;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            float& value = features[frame * bins + bin];
            value = frame < valid ? (value - mean) / deviation : 0.0f;
        }
    }
}

} // namespace

UnifiedMelExtractor UnifiedMelExtractor::make(const UnifiedConfig& config, std::int64_t windowSamples) {
    const auto nMels = static_cast<int>(config.melFeatures);
    return {
        // The front end's defaults are the models' own settings, apart from the number of bins.
        .mel = std::make_shared<AudioMelSpectrogram>(AudioMelSpectrogram::Options{.nMels = nMels}),
        .nMels = config.melFeatures,
        .hopLength = hop,
        .windowSamples = windowSamples,
        .totalFrames = windowSamples / hop + 1,
    };
}

UnifiedMelExtractor::Features UnifiedMelExtractor::features(std::span<const float> window,
                                                            std::int64_t validCount) const {
    auto result = mel->computeFlatTransposed(window, 0.0f, AudioMelSpectrogram::PaddingMode::center,
                                             static_cast<int>(totalFrames));
    const auto bins = static_cast<std::size_t>(nMels);
    const auto frames = static_cast<std::size_t>(totalFrames);
    const std::int64_t validFrames = std::min(totalFrames, validCount / hopLength);
    result.mel.resize(frames * bins, 0.0f);
    normalizePerFeature(result.mel, frames, validFrames, bins);

    using platform::ml::MultiArray;
    auto melArray = std::make_shared<MultiArray>(MultiArray::Shape{1, bins, frames}, platform::ml::DataType::float32);
    float* out = melArray->data<float>();
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t bin = 0; bin < bins; ++bin) {
            out[bin * frames + frame] = result.mel[frame * bins + bin];
        }
    }
    auto length = std::make_shared<MultiArray>(MultiArray::Shape{1}, platform::ml::DataType::int32);
    length->data<std::int32_t>()[0] = static_cast<std::int32_t>(std::max<std::int64_t>(validFrames, 0));
    return {.mel = std::move(melArray), .length = std::move(length)};
}

} // namespace quorl
