#include "QuorlAudio/tts/supertonic3/Supertonic3Synthesizer.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3MultiArray.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"
#include "platform/text/TextPieces.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <utility>

namespace quorl {
namespace {

namespace arrays = Supertonic3MultiArray;
namespace sampler = Supertonic3LatentSampler;
using platform::ml::FeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::Model;
using platform::ml::MultiArray;
using Inputs = std::map<std::string, FeatureValue>;
using Shape = std::vector<std::size_t>;

constexpr auto textLength = static_cast<std::int64_t>(Supertonic3Constants::textTFixed);
// Seconds: the shortest utterance, one latent frame, and the smallest speed divisor.
constexpr float shortest = 0.05F;

// Any of the synthesiser's tensors; a size that does not fit the shape is reported for stage "tensor".
template <class Element>
std::shared_ptr<MultiArray> tensor(std::span<const Element> values, const std::vector<std::int64_t>& shape) {
    const auto failure = [&](const std::string& reason) {
        return Supertonic3Error::invalidTensorShape("tensor", platform::text::bracketedList(shape),
                                                    "len=" + std::to_string(values.size()) + " (" + reason + ")");
    };
    if (std::ranges::any_of(shape, [](std::int64_t dimension) { return dimension < 0; })) {
        throw failure("negative dimension");
    }
    const Shape dims(shape.begin(), shape.end());
    try {
        if constexpr (std::is_same_v<Element, float>) {
            return arrays::makeFloat32(values, dims);
        } else {
            return arrays::makeInt32(values, dims);
        }
    } catch (const Supertonic3Error& error) {
        throw failure(error.what());
    }
}

std::shared_ptr<MultiArray> scalar(float value) { return tensor<float>(std::span(&value, 1), {1}); }

// [1] followed by the style's own dims without their first entry.
std::vector<std::int64_t> batchOfOne(const std::vector<std::int64_t>& dims) {
    std::vector<std::int64_t> shape{1};
    if (!dims.empty()) {
        shape.insert(shape.end(), dims.begin() + 1, dims.end());
    }
    return shape;
}

std::shared_ptr<const FeatureProvider> predict(const std::string& stage, const Model& model, Inputs inputs) {
    const platform::ml::DictionaryFeatureProvider provider(std::move(inputs));
    try {
        return model.predict(provider, platform::ml::PredictionOptions{});
    } catch (const platform::core::CancellationError&) {
        throw;
    } catch (const std::exception&) {
        throw Supertonic3Error::inferenceFailed(stage, platform::core::describe(std::current_exception()));
    }
}

std::shared_ptr<MultiArray> output(const FeatureProvider& outputs, const std::string& name, const std::string& stage) {
    auto array = platform::ml::multiArrayOutput(outputs, name);
    if (!array) {
        throw Supertonic3Error::inferenceFailed(stage, "missing '" + name + "' output");
    }
    return array;
}

// The array itself when it already has the shape as float32; a float32 copy otherwise.
std::shared_ptr<MultiArray> reshaped(std::shared_ptr<MultiArray> array, const Shape& shape) {
    const std::vector<std::int64_t> dims(shape.begin(), shape.end());
    std::size_t count = 1;
    for (const std::size_t dimension : shape) {
        count *= dimension;
    }
    if (array->count() != count) {
        throw Supertonic3Error::invalidTensorShape("vector_estimator", platform::text::bracketedList(dims),
                                                   "count=" + std::to_string(array->count()));
    }
    if (array->shape() == shape && array->dataType() == platform::ml::DataType::float32) {
        return array;
    }
    return arrays::makeFloat32(arrays::extractFloats(*array), shape);
}

// Each channel's first `to` frames of `from`, zeros where it had fewer.
std::vector<float> withFrames(std::span<const float> values, std::size_t channels, std::size_t from, std::size_t to) {
    std::vector<float> result(channels * to, 0.0F);
    const std::size_t kept = std::min(from, to);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(channel * from), kept,
                    result.begin() + static_cast<std::ptrdiff_t>(channel * to));
    }
    return result;
}

std::int32_t clampedId(std::int64_t id) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(id, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

sampler::Geometry geometryOf(const Supertonic3Config& config) {
    return {.sampleRate = config.ae.sampleRate,
            .baseChunkSize = config.ae.baseChunkSize,
            .chunkCompressFactor = config.ttl.chunkCompressFactor,
            .latentDim = config.ttl.latentDim};
}

// The predicted length in samples, unless the vocoder gave fewer or it comes to none.
std::vector<float> trimmed(std::vector<float> samples, float duration, std::int64_t sampleRate) {
    const auto expected = static_cast<std::uint64_t>(sampler::sampleCount(duration, sampleRate));
    const std::size_t kept = std::min<std::uint64_t>(expected, samples.size());
    if (kept >= 1) {
        samples.resize(kept);
    }
    return samples;
}

} // namespace

struct Supertonic3Synthesizer::TextInputs {
    FeatureValue ids;
    FeatureValue mask;
};

struct Supertonic3Synthesizer::StyleInputs {
    FeatureValue ttl;
    FeatureValue dp;
};

struct Supertonic3Synthesizer::Latent {
    std::shared_ptr<Model> estimator;
    // [1, channels, paddedLength]
    std::shared_ptr<MultiArray> noise;
    // [1, 1, paddedLength]
    FeatureValue mask;
    FeatureValue textEmb;
    std::size_t channels = 0;
    std::size_t paddedLength = 0;
};

Supertonic3Synthesizer::Supertonic3Synthesizer(std::shared_ptr<Supertonic3ModelStore> store,
                                               Supertonic3UnicodeProcessor processor,
                                               Supertonic3LatentSampler::RandomSource rng)
    : store_(std::move(store)), processor_(std::move(processor)), rng_(std::move(rng)) {}

Supertonic3Synthesizer::Result Supertonic3Synthesizer::infer(const Request& request) const {
    const auto encoded = processor_.encode({std::string(request.text)}, {std::string(request.language)});
    std::vector<std::int32_t> ids(encoded.ids[0].size());
    std::ranges::transform(encoded.ids[0], ids.begin(), clampedId);
    const TextInputs text{.ids = tensor<std::int32_t>(ids, {1, textLength}),
                          .mask = tensor<float>(encoded.mask[0][0], {1, 1, textLength})};
    const StyleInputs style{.ttl = tensor<float>(request.style.ttlValues, batchOfOne(request.style.ttlDims)),
                            .dp = tensor<float>(request.style.dpValues, batchOfOne(request.style.dpDims))};

    const float duration = predictDuration(text, style, request.speed);
    const auto textEmb = encodeText(text, style);
    const auto geometry = geometryOf(store_->config());
    // The estimator is settled before any noise is drawn, so a latent too long for it allocates nothing.
    const auto length = static_cast<std::size_t>(sampler::latentLength(duration, geometry));
    const auto estimator = store_->vectorEstimator(static_cast<std::int64_t>(length));
    const auto noise = sampler::sampleNoisyLatent(std::span(&duration, 1), geometry, rng_);
    const auto channels = static_cast<std::size_t>(noise.dims.channels);
    const auto padded = static_cast<std::size_t>(estimator.paddedLength);
    auto mask = noise.latentMask;
    mask.resize(padded, 0.0F);
    const Latent latent{
        .estimator = estimator.model,
        .noise = arrays::makeFloat32(withFrames(noise.noisyLatent, channels, length, padded), {1, channels, padded}),
        .mask = arrays::makeFloat32(mask, {1, 1, padded}),
        .textEmb = textEmb,
        .channels = channels,
        .paddedLength = padded};

    auto refined = refine(latent, text, style, request.totalSteps);
    if (padded > length) {
        refined = arrays::makeFloat32(withFrames(arrays::extractFloats(*refined), channels, padded, length),
                                      {1, channels, length});
    }
    return {.samples = trimmed(vocode(refined), duration, geometry.sampleRate), .duration = duration};
}

// Seconds after the speed: every speed at or below 0.05 acts as 0.05, and no duration falls below 0.05.
float Supertonic3Synthesizer::predictDuration(const TextInputs& text, const StyleInputs& style, float speed) const {
    const auto model = store_->durationPredictor();
    const auto outputs = predict("duration_predictor", *model,
                                 {{"text_ids", text.ids}, {"text_mask", text.mask}, {"style_dp", style.dp}});
    const auto durations = arrays::extractFloats(*output(*outputs, "duration", "duration_predictor"));
    if (durations.empty()) {
        throw Supertonic3Error::inferenceFailed("duration_predictor", "missing 'duration' output");
    }
    if (!std::isfinite(durations[0])) {
        throw Supertonic3Error::inferenceFailed("duration_predictor", "duration is not a finite number");
    }
    return std::max(durations[0] / std::max(shortest, speed), shortest);
}

FeatureValue Supertonic3Synthesizer::encodeText(const TextInputs& text, const StyleInputs& style) const {
    const auto model = store_->textEncoder();
    const auto outputs =
        predict("text_encoder", *model, {{"text_ids", text.ids}, {"text_mask", text.mask}, {"style_ttl", style.ttl}});
    return output(*outputs, "text_emb", "text_encoder");
}

// The estimator makes each step's update itself; the loop only feeds each output back in.
std::shared_ptr<MultiArray> Supertonic3Synthesizer::refine(const Latent& latent, const TextInputs& text,
                                                           const StyleInputs& style, int totalSteps) const {
    const Shape shape{1, latent.channels, latent.paddedLength};
    const FeatureValue total = scalar(static_cast<float>(totalSteps));
    auto current = latent.noise;
    for (int step = 0; step < totalSteps; ++step) {
        const auto outputs = predict("vector_estimator", *latent.estimator,
                                     {{"noisy_latent", current},
                                      {"text_emb", latent.textEmb},
                                      {"style_ttl", style.ttl},
                                      {"latent_mask", latent.mask},
                                      {"text_mask", text.mask},
                                      {"current_step", scalar(static_cast<float>(step))},
                                      {"total_step", total}});
        current = reshaped(output(*outputs, "denoised_latent", "vector_estimator"), shape);
    }
    return current;
}

std::vector<float> Supertonic3Synthesizer::vocode(const std::shared_ptr<MultiArray>& latent) const {
    const auto model = store_->vocoder();
    const auto outputs = predict("vocoder", *model, {{"latent", latent}});
    return arrays::extractFloats(*output(*outputs, "wav", "vocoder"));
}

} // namespace quorl
