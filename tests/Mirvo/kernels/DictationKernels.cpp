#include "tests/Mirvo/kernels/DictationKernels.hpp"
#include "tests/Mirvo/kernels/KernelSupport.hpp"
#include "tests/Mirvo/kernels/ParaformerKernels.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/MultiArrayCopy.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace mirvotest::dictation;
using platform::ml::DataType;
using platform::ml::FeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::Kernel;
using platform::ml::ModelState;
using platform::ml::MultiArray;
using platform::ml::PredictionOptions;
using Outputs = std::map<std::string, FeatureValue>;

constexpr std::size_t samplesPerFrame = 1280;
constexpr std::size_t samplesPerMelFrame = 160;
constexpr std::size_t melFramesPerFrame = samplesPerFrame / samplesPerMelFrame;
constexpr int blankId = 8192;
// Rows of "mel" and of "encoder" that carry a frame's least and greatest sample.
constexpr std::size_t lowRow = 0;
constexpr std::size_t highRow = 1;
constexpr float tokenProbability = 0.9f;
// The duration class of a step of one frame.
constexpr int oneFrameDuration = 1;

// A length input, kept within [0, limit].
std::size_t length(const FeatureProvider& provider, const std::string& name, std::size_t limit) {
    const double value = input(provider, name)->value(0);
    return value > 0 ? std::min(static_cast<std::size_t>(value), limit) : 0;
}

std::shared_ptr<MultiArray> integer(std::size_t value) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->at<std::int32_t>(0) = static_cast<std::int32_t>(value);
    return array;
}

std::shared_ptr<MultiArray> copyOf(const MultiArray& array) {
    auto copy = std::make_shared<MultiArray>(array.shape(), array.dataType());
    platform::ml::copyElements(array, *copy);
    return copy;
}

std::size_t roundedUp(std::size_t count, std::size_t step) { return (count + step - 1) / step; }

// "audio_signal" [1, 240000], "audio_length" → "mel" [1, 2, 188]: each encoder frame's least and greatest
// sample, the samples past the valid length reading as silence; "mel_length" counts the mel frames.
class FrameRangePreprocessor : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const auto signal = input(provider, "audio_signal");
        const std::size_t valid = length(provider, "audio_length", signal->count());
        auto mel = std::make_shared<MultiArray>(MultiArray::Shape{1, 2, encoderFrames}, DataType::float32);
        for (std::size_t frame = 0; frame < encoderFrames; ++frame) {
            const auto [low, high] = rangeOf(*signal, valid, frame);
            mel->at<float>({0, lowRow, frame}) = low;
            mel->at<float>({0, highRow, frame}) = high;
        }
        return {{"mel", FeatureValue(mel)},
                {"mel_length", FeatureValue(integer(roundedUp(valid, samplesPerMelFrame)))}};
    }

private:
    struct Range {
        float low;
        float high;
    };

    static Range rangeOf(const MultiArray& signal, std::size_t valid, std::size_t frame) {
        const std::size_t first = frame * samplesPerFrame;
        const std::size_t end = std::min(first + samplesPerFrame, valid);
        if (first >= end) {
            return {.low = 0, .high = 0};
        }
        const auto firstValue = static_cast<float>(signal.value(first));
        Range range{.low = firstValue, .high = firstValue};
        for (std::size_t sample = first + 1; sample < end; ++sample) {
            const auto value = static_cast<float>(signal.value(sample));
            range.low = std::min(range.low, value);
            range.high = std::max(range.high, value);
        }
        // A frame cut short by the valid length is padded with silence, like the rest of the window.
        if (end < first + samplesPerFrame) {
            range.low = std::min(range.low, 0.0f);
            range.high = std::max(range.high, 0.0f);
        }
        return range;
    }
};

// "mel", "mel_length" → "encoder" [1, 1024, 188] carrying the frame ranges in its first two rows (the frames
// past the valid length silent) and "encoder_length", the valid frames.
class FrameRangeEncoder : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const auto mel = input(provider, "mel");
        const std::size_t validFrames =
            roundedUp(length(provider, "mel_length", encoderFrames * melFramesPerFrame), melFramesPerFrame);
        auto encoder =
            std::make_shared<MultiArray>(MultiArray::Shape{1, encoderWidth, encoderFrames}, DataType::float32);
        for (std::size_t frame = 0; frame < validFrames; ++frame) {
            encoder->at<float>({0, lowRow, frame}) = static_cast<float>(mel->value(lowRow * encoderFrames + frame));
            encoder->at<float>({0, highRow, frame}) = static_cast<float>(mel->value(highRow * encoderFrames + frame));
        }
        return {{"encoder", FeatureValue(encoder)}, {"encoder_length", FeatureValue(integer(validFrames))}};
    }
};

// "targets", "target_length", "h_in", "c_in" → "decoder" [1, 1, 640] holding the label in every element, and
// the recurrent state unchanged.
class LabelDecoder : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const double label = input(provider, "targets")->value(0);
        auto projection = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, projectionWidth}, DataType::float32);
        std::fill_n(projection->data<float>(), projectionWidth, static_cast<float>(label));
        return {{"decoder", FeatureValue(projection)},
                {"h_out", FeatureValue(copyOf(*input(provider, "h_in")))},
                {"c_out", FeatureValue(copyOf(*input(provider, "c_in")))}};
    }
};

// "encoder_step" [1, 1024, 1], "decoder_step" [1, 640, 1] → "token_id", "token_prob", "duration" [1, 1, 1]:
// the word of a flat frame unless the decoder already carries it, else blank; always one frame on.
class WordJoint : public Kernel {
public:
    Outputs predict(const FeatureProvider& provider, ModelState*, const PredictionOptions&) override {
        const auto step = input(provider, "encoder_step");
        const auto word = wordAtLevel(step->value(lowRow), step->value(highRow));
        const auto label = std::lround(input(provider, "decoder_step")->value(0));
        const bool emits = word && *word != label;
        return {{"token_id", FeatureValue(cell(emits ? *word : blankId, DataType::int32))},
                {"token_prob", FeatureValue(cell(tokenProbability, DataType::float32))},
                {"duration", FeatureValue(cell(oneFrameDuration, DataType::int32))}};
    }

private:
    static std::shared_ptr<MultiArray> cell(double value, DataType dataType) {
        auto array = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, 1}, dataType);
        array->setValue(0, value);
        return array;
    }
};

} // namespace

extern "C" void platform_ml_register_kernels(platform::ml::KernelRegistry& registry) {
    registry.registerKernel(preprocessorKernel, factory<FrameRangePreprocessor>());
    registry.registerKernel(encoderKernel, factory<FrameRangeEncoder>());
    registry.registerKernel(decoderKernel, factory<LabelDecoder>());
    registry.registerKernel(jointKernel, factory<WordJoint>());
    mirvotest::paraformer::registerKernels(registry);
}
