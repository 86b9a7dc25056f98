#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCloner.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/dsp/Half.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/sys/AtomicWrite.hpp"
#include "platform/sys/WholeFile.hpp"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace quorl::PocketTtsVoiceCloner {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr auto embeddingDim = static_cast<std::size_t>(PocketTtsConstants::embeddingDim);
constexpr auto inputSamples = static_cast<std::size_t>(encoderInputSamples);
constexpr auto samplesPerFrame = static_cast<std::size_t>(frameSize);

const AppLogger& logger() {
    static const AppLogger instance("PocketTtsVoiceCloner");
    return instance;
}

std::string kilobytes(std::size_t bytes) { return std::to_string(bytes / 1024); }

std::vector<float> loadAudio(const fs::path& from) {
    try {
        auto samples = AudioConverter(static_cast<double>(sampleRate)).resampleAudioFile(from);
        if (samples.empty()) {
            throw PocketTTSError::processingFailed("Audio file contains no samples");
        }
        return samples;
    } catch (const std::exception& error) {
        throw PocketTTSError::processingFailed(concatenated({"Failed to load audio file: ", error.what()}));
    }
}

void requireMinimumDuration(double duration) {
    if (duration < minDurationSeconds) {
        throw PocketTTSError::processingFailed(
            concatenated({"Audio too short for voice cloning: ", fixedDecimalText(duration, 1), "s (minimum ",
                          fixedDecimalText(minDurationSeconds, 1), "s required)"}));
    }
}

// The encoder's fixed-length input: the clip's first 10 s, then silence.
std::shared_ptr<MultiArray> encoderInput(std::span<const float> samples, std::size_t used) {
    auto input = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, inputSamples}, DataType::float32);
    std::copy_n(samples.begin(), used, input->data<float>());
    return input;
}

std::shared_ptr<MultiArray> conditioningOutput(const platform::ml::Model& encoder, std::shared_ptr<MultiArray> input) {
    const auto outputs = encoder.predict(platform::ml::DictionaryFeatureProvider({{"audio", std::move(input)}}));
    const auto value = outputs->featureValue("conditioning");
    auto conditioning = value ? value->multiArrayValue() : nullptr;
    if (conditioning == nullptr || conditioning->shape().size() != 3) {
        throw PocketTTSError::processingFailed("Failed to get conditioning output from encoder");
    }
    return conditioning;
}

// Where frame i, value j of the output lies: i × frame + j × element, in elements from the start.
struct Layout {
    std::size_t frame;
    std::size_t element;
    std::size_t width;

    bool contiguous() const { return element == 1 && frame == width; }
};

template <class Element>
void gather(const Element* data, const Layout& layout, std::size_t frames, float* destination) {
    for (std::size_t i = 0; i < frames; ++i) {
        for (std::size_t j = 0; j < layout.width; ++j) {
            *destination++ = static_cast<float>(data[i * layout.frame + j * layout.element]);
        }
    }
}

// The first `frames` frames of the [1, T, D] output, frame after frame, whatever its element type and strides.
std::vector<float> extractConditioning(const MultiArray& output, std::size_t frames, std::size_t embDim) {
    const auto& strides = output.strides();
    const Layout layout = strides.size() < 3 ? Layout{embDim, 1, embDim} : Layout{strides[1], strides[2], embDim};
    std::vector<float> values(frames * embDim);
    switch (output.dataType()) {
    case DataType::float16:
        if (layout.contiguous()) {
            platform::dsp::halfToFloat(output.data<platform::dsp::Half>(), values.data(), values.size());
        } else {
            gather(output.data<platform::dsp::Half>(), layout, frames, values.data());
        }
        break;
    case DataType::float32:
        if (layout.contiguous()) {
            std::copy_n(output.data<float>(), values.size(), values.begin());
        } else {
            gather(output.data<float>(), layout, frames, values.data());
        }
        break;
    case DataType::float64: gather(output.data<double>(), layout, frames, values.data()); break;
    case DataType::int32: gather(output.data<std::int32_t>(), layout, frames, values.data()); break;
    }
    return values;
}

} // namespace

PocketTtsVoiceData cloneVoice(const fs::path& from, const platform::ml::Model& encoder) {
    return cloneVoice(loadAudio(from), encoder);
}

PocketTtsVoiceData cloneVoice(std::span<const float> from, const platform::ml::Model& encoder) {
    const double duration = static_cast<double>(from.size()) / static_cast<double>(sampleRate);
    requireMinimumDuration(duration);
    const std::size_t used = std::min(from.size(), inputSamples);
    logger().info(concatenated({"Encoding ", std::to_string(used), " samples (", fixedDecimalText(duration, 1),
                                "s) padded/truncated to ", std::to_string(inputSamples)}));
    const auto conditioning = conditioningOutput(encoder, encoderInput(from, used));
    const std::size_t encoded = conditioning->shape()[1];
    const std::size_t frames = std::min((used + samplesPerFrame - 1) / samplesPerFrame, encoded);
    logger().info(concatenated({"Encoded to ", std::to_string(encoded), " frames, using ", std::to_string(frames)}));
    return PocketTtsVoiceData{.audioPrompt = extractConditioning(*conditioning, frames, conditioning->shape()[2]),
                              .promptLength = static_cast<std::int64_t>(frames),
                              .cacheSnapshot = std::nullopt};
}

void saveVoice(const PocketTtsVoiceData& voice, const fs::path& to) {
    const auto bytes = std::as_bytes(std::span(voice.audioPrompt));
    platform::sys::writeAtomically(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), to);
    logger().info(concatenated({"Saved voice to ", to.filename().string(), " (", kilobytes(bytes.size()), " KB)"}));
}

PocketTtsVoiceData loadVoice(const fs::path& from) {
    const std::string bytes = platform::sys::wholeFile(from);
    const std::size_t floats = bytes.size() / sizeof(float);
    if (floats == 0 || floats % embeddingDim != 0) {
        throw PocketTTSError::processingFailed(
            concatenated({"Invalid voice file size: ", std::to_string(bytes.size()),
                          " bytes (not divisible by embedding dim ", std::to_string(embeddingDim), ")"}));
    }
    const std::size_t frames = floats / embeddingDim;
    if (frames > static_cast<std::size_t>(maxVoiceFrames)) {
        throw PocketTTSError::processingFailed(concatenated(
            {"Voice file too large: ", std::to_string(frames), " frames (max ", std::to_string(maxVoiceFrames), ")"}));
    }
    std::vector<float> prompt(floats);
    std::memcpy(prompt.data(), bytes.data(), floats * sizeof(float));
    logger().info(concatenated({"Loaded voice from ", from.filename().string(), ": ", std::to_string(frames),
                                " frames (", kilobytes(bytes.size()), " KB)"}));
    return PocketTtsVoiceData{.audioPrompt = std::move(prompt),
                              .promptLength = static_cast<std::int64_t>(frames),
                              .cacheSnapshot = std::nullopt};
}

} // namespace quorl::PocketTtsVoiceCloner
