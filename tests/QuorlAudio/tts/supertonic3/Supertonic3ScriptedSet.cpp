#include "tests/QuorlAudio/tts/supertonic3/Supertonic3ScriptedSet.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "tests/QuorlAudio/tts/supertonic3/Supertonic3SetWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <algorithm>
#include <memory>

namespace quorl {
namespace {

using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr std::size_t samplesPerFrame = Supertonic3Constants::baseChunkSize * Supertonic3Constants::chunkCompressFactor;

std::shared_ptr<MultiArray> filled(const MultiArray::Shape& shape, float value) {
    auto array = std::make_shared<MultiArray>(shape, platform::ml::DataType::float32);
    std::fill_n(array->data<float>(), array->count(), value);
    return array;
}

} // namespace

Supertonic3ScriptedSet::Supertonic3ScriptedSet()
    : durationPredictor("supertonic3-duration", [this](const Call& call) { return predictDuration(call); }),
      textEncoder("supertonic3-text-encoder",
                  [this](const Call&) {
                      return answer(
                          "text_emb",
                          filled({1, Supertonic3Constants::textEmbDim, Supertonic3Constants::textTFixed}, 0.25F));
                  }),
      vectorEstimator("supertonic3-estimator", [this](const Call& call) { return refine(call); }),
      vocoder("supertonic3-vocoder", [this](const Call& call) { return vocode(call); }) {}

void Supertonic3ScriptedSet::write(const std::filesystem::path& repoDir,
                                   const Supertonic3VectorEstimator& estimator) const {
    testsupport::writeSupertonic3Set(repoDir,
                                     {.durationPredictor = durationPredictor.name(),
                                      .textEncoder = textEncoder.name(),
                                      .vectorEstimator = vectorEstimator.name(),
                                      .vocoder = vocoder.name()},
                                     estimator);
}

float Supertonic3ScriptedSet::wavSample(std::size_t call, std::size_t index) {
    return static_cast<float>(call + 1) + static_cast<float>(index % 1000) / 1000.0F;
}

Supertonic3ScriptedSet::Outputs Supertonic3ScriptedSet::answer(const std::string& name, FeatureValue value) const {
    if (omittedOutputs.contains(name)) {
        return {};
    }
    return {{name, std::move(value)}};
}

Supertonic3ScriptedSet::Outputs Supertonic3ScriptedSet::predictDuration(const Call& call) const {
    return answer("duration", filled({1}, durations[std::min(call.index, durations.size() - 1)]));
}

Supertonic3ScriptedSet::Outputs Supertonic3ScriptedSet::refine(const Call& call) const {
    const auto& latent = *call.inputs.at("noisy_latent").multiArrayValue();
    auto values = testsupport::valuesOf(latent);
    for (auto& value : values) {
        value += 1.0;
    }
    return answer("denoised_latent", testsupport::makeArray(latent.shape(), values));
}

Supertonic3ScriptedSet::Outputs Supertonic3ScriptedSet::vocode(const Call& call) const {
    const auto frames = call.inputs.at("latent").multiArrayValue()->shape().back();
    const std::size_t length = wavLength.value_or(frames * samplesPerFrame);
    auto wav = std::make_shared<MultiArray>(MultiArray::Shape{1, length}, platform::ml::DataType::float32);
    for (std::size_t index = 0; index < length; ++index) {
        wav->data<float>()[index] = wavSample(call.index, index);
    }
    return answer("wav", wav);
}

} // namespace quorl
