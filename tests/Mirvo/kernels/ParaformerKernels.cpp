#include "tests/Mirvo/kernels/ParaformerKernels.hpp"

#include "tests/Mirvo/kernels/DictationKernels.hpp"
#include "tests/Mirvo/kernels/KernelSupport.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/MultiArray.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace mirvotest::paraformer {
namespace {

using dictation::factory;
using dictation::input;
using dictation::maxWordCode;
using dictation::wordAtLevel;
using platform::ml::DataType;
using platform::ml::FeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::Kernel;
using platform::ml::ModelState;
using platform::ml::MultiArray;
using platform::ml::PredictionOptions;
using Outputs = std::map<std::string, FeatureValue>;

constexpr std::size_t samplesPerFrame = 960;
constexpr std::size_t featureWidth = 560;
constexpr std::size_t encoderWidth = 512;
constexpr double waveformScale = 32768.0;
constexpr std::size_t vocabularyWidth = firstWordToken + maxWordCode;

std::size_t frames(const MultiArray& array) { return array.shape().at(1); }

// "waveform" [1, S] → "features" [1, ⌈S / 960⌉, 560]: each frame's least and greatest sample (unscaled) in its
// first two values; a frame cut short is padded with silence.
class RangePreprocessor : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const auto waveform = input(provider, "waveform");
        const std::size_t samples = waveform->count();
        const std::size_t count = std::max<std::size_t>(1, (samples + samplesPerFrame - 1) / samplesPerFrame);
        auto features = std::make_shared<MultiArray>(MultiArray::Shape{1, count, featureWidth}, DataType::float32);
        for (std::size_t frame = 0; frame < count; ++frame) {
            const std::size_t first = frame * samplesPerFrame;
            const std::size_t end = std::min(first + samplesPerFrame, samples);
            double low = end - first < samplesPerFrame ? 0.0 : waveform->value(first);
            double high = low;
            for (std::size_t sample = first; sample < end; ++sample) {
                low = std::min(low, waveform->value(sample));
                high = std::max(high, waveform->value(sample));
            }
            features->at<float>({0, frame, 0}) = static_cast<float>(low / waveformScale);
            features->at<float>({0, frame, 1}) = static_cast<float>(high / waveformScale);
        }
        return {{"features", FeatureValue(features)}};
    }
};

// "speech" [1, B, 560], "speech_lengths" → "enc_out" [1, B, 512] with the valid frames' ranges.
class RangeEncoder : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const auto speech = input(provider, "speech");
        const auto valid =
            std::min(frames(*speech), static_cast<std::size_t>(input(provider, "speech_lengths")->value(0)));
        auto rows =
            std::make_shared<MultiArray>(MultiArray::Shape{1, frames(*speech), encoderWidth}, DataType::float32);
        for (std::size_t frame = 0; frame < valid; ++frame) {
            rows->at<float>({0, frame, 0}) = speech->at<float>({0, frame, 0});
            rows->at<float>({0, frame, 1}) = speech->at<float>({0, frame, 1});
        }
        return {{"enc_out", FeatureValue(rows)}};
    }
};

// "enc_out" → "alphas" [1, B]: 1.0 on the first flat frame of each word, 0 elsewhere.
class WordStartAlphas : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const auto rows = input(provider, "enc_out");
        auto alphas = std::make_shared<MultiArray>(MultiArray::Shape{1, frames(*rows)}, DataType::float32);
        std::optional<int> previous;
        for (std::size_t frame = 0; frame < frames(*rows); ++frame) {
            const auto word = wordAtLevel(rows->at<float>({0, frame, 0}), rows->at<float>({0, frame, 1}));
            alphas->at<float>({0, frame}) = word && word != previous ? 1.0f : 0.0f;
            previous = word;
        }
        return {{"alphas", FeatureValue(alphas)}};
    }
};

// "enc", "elen", "ac", "tn" → "logits" [1, 128, 12]: at each of the tn positions, 1.0 for the token of the
// embedding's word.
class WordDecoder : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const auto embeddings = input(provider, "ac");
        const auto tokens = std::min(frames(*embeddings), static_cast<std::size_t>(input(provider, "tn")->value(0)));
        auto logits =
            std::make_shared<MultiArray>(MultiArray::Shape{1, frames(*embeddings), vocabularyWidth}, DataType::float32);
        for (std::size_t position = 0; position < tokens; ++position) {
            const auto low = embeddings->at<float>({0, position, 0});
            if (const auto word = wordAtLevel(low, embeddings->at<float>({0, position, 1}))) {
                logits->at<float>({0, position, static_cast<std::size_t>(firstWordToken - 1 + *word)}) = 1.0f;
            }
        }
        return {{"logits", FeatureValue(logits)}};
    }
};

} // namespace

void registerKernels(platform::ml::KernelRegistry& registry) {
    registry.registerKernel(preprocessorKernel, factory<RangePreprocessor>());
    registry.registerKernel(encoderKernel, factory<RangeEncoder>());
    registry.registerKernel(cifAlphasKernel, factory<WordStartAlphas>());
    registry.registerKernel(decoderKernel, factory<WordDecoder>());
}

} // namespace mirvotest::paraformer
