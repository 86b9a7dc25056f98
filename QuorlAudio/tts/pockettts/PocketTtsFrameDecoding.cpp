#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsRequiredOutput.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "platform/sys/WholeFile.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <numeric>

namespace quorl::PocketTtsSynthesizer {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::MultiArray;
using Inputs = std::map<std::string, platform::ml::FeatureValue>;

constexpr std::size_t transformerWidth = PocketTtsConstants::transformerDim;
constexpr std::size_t latentDim = PocketTtsConstants::latentDim;
constexpr std::size_t samplesPerFrame = PocketTtsConstants::samplesPerFrame;
// 2^24 + 1: a draw of 0 to 2^24 inclusive, scaled to [0, 1].
constexpr std::uint32_t uniformSteps = 16777217;
constexpr float uniformScale = 1.0F / 16777216.0F;
// 6.283185 as written, one unit in the last place below the nearest float to 2π; the noise depends on it.
const float angleFactor = std::bit_cast<float>(0x40C90FDAU);
const float smallestFloat = std::bit_cast<float>(0x00000001U);

std::shared_ptr<MultiArray> rowArray(const std::vector<float>& values) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1, values.size()}, DataType::float32);
    std::copy(values.begin(), values.end(), array->data<float>());
    return array;
}

std::string latentOutputName(const platform::ml::FeatureProvider& outputs) {
    const auto names = outputs.featureNames();
    if (names.contains("latent_final") || names.empty()) {
        return names.empty() ? std::string() : "latent_final";
    }
    return *names.begin();
}

std::shared_ptr<MultiArray> initialTensor(const fs::path& folder, const std::string& name,
                                          const std::vector<std::size_t>& shape) {
    auto array = std::make_shared<MultiArray>(shape, DataType::float32);
    if (std::ranges::find(shape, 0U) != shape.end()) {
        return array;
    }
    const auto count = std::accumulate(shape.begin(), shape.end(), std::size_t{1}, std::multiplies<>());
    const auto file = folder / (name + ".bin");
    if (!fs::exists(file)) {
        return array;
    }
    const auto bytes = platform::sys::wholeFile(file);
    if (bytes.size() == count * sizeof(float)) {
        std::memcpy(array->dataPointer(), bytes.data(), bytes.size());
    }
    return array;
}

} // namespace

std::vector<float> flowNoise(float temperature, SeededRNG& rng) {
    const float scale = std::sqrt(temperature);
    std::vector<float> noise(latentDim);
    for (float& value : noise) {
        const float u1 = static_cast<float>(rng.next(uniformSteps)) * uniformScale + smallestFloat;
        const float u2 = static_cast<float>(rng.next(uniformSteps)) * uniformScale;
        value = scale * (std::sqrt(-2.0F * std::log(u1)) * std::cos(angleFactor * u2));
    }
    return noise;
}

std::vector<float> flowDecode(const MultiArray& transformerOut, float temperature, const platform::ml::Model& model,
                              SeededRNG& rng) {
    const auto noise = flowNoise(temperature, rng);
    Inputs inputs{{"transformer_out", rowArray(readFloatArray(transformerOut, transformerWidth, "transformer output"))},
                  {"latent_init", rowArray(noise)}};
    const auto outputs = model.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
    const auto latent =
        requiredOutput(*outputs, latentOutputName(*outputs), "Missing fused flow decoder latent_final output");
    return readFloatArray(*latent, latentDim, "flow decoder latent");
}

std::vector<float> runMimiDecoder(const std::vector<float>& latent, MimiState& state, const platform::ml::Model& model,
                                  const PocketTtsMimiKeys& mimiKeys) {
    if (latent.size() < latentDim) {
        throw PocketTTSError::processingFailed(concatenated(
            {"latent has ", std::to_string(latent.size()), " floats, expected ", std::to_string(latentDim)}));
    }
    Inputs inputs{{"latent", rowArray(std::vector(latent.begin(), latent.begin() + latentDim))}};
    for (const auto& [input, output] : mimiKeys.stateMapping) {
        const auto tensor = state.tensors.find(input);
        if (tensor == state.tensors.end()) {
            throw PocketTTSError::processingFailed("Mimi state missing tensor '" + input + "'");
        }
        inputs.insert_or_assign(input, tensor->second);
    }
    const auto outputs = model.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
    const auto audio = requiredOutput(*outputs, mimiKeys.audioOutput, "Missing Mimi audio output");
    auto samples = readFloatArray(*audio, samplesPerFrame, "Mimi audio output");
    for (const auto& [input, output] : mimiKeys.stateMapping) {
        state.tensors.insert_or_assign(
            input, requiredOutput(*outputs, output,
                                  concatenated({"Missing Mimi state output: ", output, " (for ", input, ")"})));
    }
    return samples;
}

MimiState loadMimiInitialState(const fs::path& from, const PocketTtsMimiKeys& mimiKeys) {
    const auto folder = from / "constants_bin" / "mimi_init_state";
    MimiState state;
    for (const auto& [name, shape] : mimiKeys.stateShapes) {
        state.tensors.insert_or_assign(name, initialTensor(folder, name, shape));
    }
    return state;
}

std::vector<float> readFloatArray(const MultiArray& from, std::size_t count, const std::string& what) {
    if (from.count() < count) {
        throw PocketTTSError::processingFailed(concatenated(
            {what, " has ", std::to_string(from.count()), " values, expected at least ", std::to_string(count)}));
    }
    auto values = platform::ml::floatElements(from);
    values.resize(count);
    return values;
}

} // namespace quorl::PocketTtsSynthesizer
